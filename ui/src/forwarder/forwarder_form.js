// Which members of the packet forwarder's configuration the forwarder page
// shows, and how a saved form becomes a merge patch.

import { fieldProblem, fieldValue, formatMhz, formatOffset } from './forwarder_rules.js';

const gateway = (member) => ['gateway_conf', member];
const concentrator = (...members) => ['SX1301_conf', ...members];
const channelOffset = (channel) => ({
  name: `if${channel}`,
  label: `Channel ${channel} frequence offset`,
  kind: 'offset',
  channel,
  paths: [concentrator(`chan_multiSF_${channel}`, 'if')],
});

// In display order. The first path is the one read; a value is written to all.
// Network servers speaking the forwarder's UDP protocol take uplinks and
// downlinks on one port, so one field sets both.
export const forwarderFields = [
  { name: 'serverAddress', label: 'Server Address', kind: 'address', paths: [gateway('server_address')] },
  { name: 'serverPort', label: 'Server Port', kind: 'port', paths: [gateway('serv_port_up'), gateway('serv_port_down')] },
  { name: 'gatewayId', label: 'Gateway ID', kind: 'gatewayId', paths: [gateway('gateway_ID')] },
  { name: 'freq0', label: 'Base Frequency', divider: 'Radio 0', kind: 'baseFrequency', paths: [concentrator('radio_0', 'freq')] },
  ...[0, 1, 2, 3].map(channelOffset),
  { name: 'freq1', label: 'Base Frequency', divider: 'Radio 1', kind: 'baseFrequency', paths: [concentrator('radio_1', 'freq')] },
  ...[4, 5, 6, 7].map(channelOffset),
];

// Every save puts the radios back into the gateway's one supported setup
// (radio 0 transmits within 923-925 MHz, radio 1 only receives), whatever the
// file held before.
export function fixedRadioSettings() {
  return {
    SX1301_conf: {
      radio_0: { enable: true, tx_enable: true, tx_freq_min: 923000000, tx_freq_max: 925000000 },
      radio_1: { enable: true, tx_enable: false },
    },
  };
}

const fixedSettingLabels = {
  enable: 'enabled',
  tx_enable: 'transmits',
  tx_freq_min: 'lowest TX frequency',
  tx_freq_max: 'highest TX frequency',
};

function isObject(value) {
  return value !== null && typeof value === 'object' && !Array.isArray(value);
}

// A member missing anywhere on the way leaves the field empty rather than
// failing the whole page.
function readPath(document, path) {
  let node = document;
  for (const member of path) {
    if (!isObject(node) || !(member in node)) return undefined;
    node = node[member];
  }
  return node;
}

function writePath(document, path, value) {
  let node = document;
  for (const member of path.slice(0, -1)) {
    if (!isObject(node[member])) node[member] = {};
    node = node[member];
  }
  node[path[path.length - 1]] = value;
}

// The leaves of a document, depth first in member order.
function leavesOf(node, path = []) {
  if (!isObject(node)) return [{ path, value: node }];
  return Object.entries(node).flatMap(([member, child]) => leavesOf(child, [...path, member]));
}

// The form holds text: what the file has, written out, or '' when the file
// lacks the member or holds something that is neither a number nor text.
export function formValuesOf(config) {
  const textOf = (value) => (typeof value === 'number' || typeof value === 'string' ? String(value) : '');
  return Object.fromEntries(forwarderFields.map((field) => [field.name, textOf(readPath(config, field.paths[0]))]));
}

// Each invalid field's message, by field name; empty when the form may be saved.
export function formProblems(values) {
  const problems = {};
  for (const field of forwarderFields) {
    const problem = fieldProblem(field, values[field.name]);
    if (problem) problems[field.name] = problem;
  }
  return problems;
}

export class InvalidFormError extends Error {
  constructor(problems) {
    super(`Invalid form: ${Object.keys(problems).join(', ')}`);
    this.problems = problems;
  }
}

// The merge patch for a complete, valid form. Anything else throws, so that no
// half-filled or mistyped form can reach the file.
export function buildPatch(values) {
  const problems = formProblems(values);
  if (Object.keys(problems).length > 0) throw new InvalidFormError(problems);
  const patch = fixedRadioSettings();
  for (const field of forwarderFields) {
    const value = fieldValue(field, values[field.name]);
    for (const path of field.paths) writePath(patch, path, value);
  }
  return patch;
}

function settingLabel(path) {
  const field = forwarderFields.find((candidate) => candidate.paths.some((fieldPath) => fieldPath.join('.') === path.join('.')));
  const radio = path[1]?.match(/^radio_(\d)$/);
  if (field?.kind === 'baseFrequency') return `Radio ${radio[1]} base frequency`;
  if (field?.kind === 'port') return `Server Port (${path[1] === 'serv_port_up' ? 'up' : 'down'})`;
  if (field) return field.label;
  return `Radio ${radio[1]} ${fixedSettingLabels[path[2]]}`;
}

// How a value reads in a list of changes: frequencies in MHz, offsets in kHz,
// switches as yes or no, text quoted.
export function describeValue(path, value) {
  const member = path.at(-1);
  if (value === undefined) return 'not set';
  if (typeof value === 'boolean') return value ? 'yes' : 'no';
  if (typeof value === 'number' && (member === 'freq' || member.startsWith('tx_freq_'))) return formatMhz(value);
  if (typeof value === 'number' && member === 'if') return formatOffset(value);
  if (typeof value === 'string') return `"${value}"`;
  return JSON.stringify(value);
}

function changeOf(config, { path, value }) {
  const before = readPath(config, path);
  if (before === value) return null;
  return {
    key: path.join('.'),
    label: settingLabel(path),
    before: describeValue(path, before),
    after: describeValue(path, value),
    fixed: readPath(fixedRadioSettings(), path) !== undefined,
  };
}

// Every member a save of the form would change in `config`, old and new: the
// form's fields in their order, then the fixed radio settings where the file
// differs from them.
export function changesOf(config, values) {
  buildPatch(values);
  const fieldLeaves = forwarderFields.flatMap((field) =>
    field.paths.map((path) => ({ path, value: fieldValue(field, values[field.name]) })));
  return [...fieldLeaves, ...leavesOf(fixedRadioSettings())].map((leaf) => changeOf(config, leaf)).filter(Boolean);
}

// The fixed radio settings as the page shows them, each with the file's
// current value when a save would change it.
export function fixedSettingRows(config) {
  return leavesOf(fixedRadioSettings()).map(({ path, value }) => {
    const current = readPath(config, path);
    return {
      key: path.join('.'),
      label: settingLabel(path),
      value: describeValue(path, value),
      current: current === value ? null : describeValue(path, current),
    };
  });
}

// The radio a channel is assigned to by the file, and the frequency it
// listens on with the form's base frequencies and offset: null where the file
// names no radio or the form's numbers are not valid yet.
export function channelReading(config, values, channel) {
  const radio = readPath(config, concentrator(`chan_multiSF_${channel}`, 'radio'));
  if (radio !== 0 && radio !== 1) return { radio: null, frequency: null };
  const base = forwarderFields.find((field) => field.name === `freq${radio}`);
  const offset = forwarderFields.find((field) => field.name === `if${channel}`);
  const valid = (field) => fieldProblem(field, values[field.name]) === '';
  if (!valid(base) || !valid(offset)) return { radio, frequency: null };
  return { radio, frequency: fieldValue(base, values[base.name]) + fieldValue(offset, values[offset.name]) };
}
