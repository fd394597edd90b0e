// Which members of the packet forwarder's configuration the forwarder page
// shows, and how a saved form becomes a merge patch.

import { fieldProblem, fieldValue, formatMhz, formatOffset } from './forwarder_rules.js';
import { inBand, planConcentrator, regionById, transmitRange } from './regions.js';

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
// (radio 0 transmits within the selected region's range, radio 1 only
// receives), whatever the file held before.
export function radioSettings(region) {
  const { min, max } = transmitRange(region);
  return {
    SX1301_conf: {
      radio_0: { enable: true, tx_enable: true, tx_freq_min: min, tx_freq_max: max },
      radio_1: { enable: true, tx_enable: false },
    },
  };
}

const memberLabels = {
  enable: 'enabled',
  tx_enable: 'transmits',
  tx_freq_min: 'lowest TX frequency',
  tx_freq_max: 'highest TX frequency',
  radio: 'radio',
  if: 'offset',
  bandwidth: 'bandwidth',
  spread_factor: 'spreading factor',
  datarate: 'data rate',
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

function planPatch(plan) {
  return { SX1301_conf: planConcentrator(regionById(plan)) };
}

// The file as a save with `plan` leaves it apart from the form's fields: which
// radio each channel is on and whether it is enabled.
export function plannedConfig(config, plan) {
  if (plan === null) return config;
  const planned = structuredClone(config);
  for (const { path, value } of leavesOf(planPatch(plan))) writePath(planned, path, value);
  return planned;
}

// The form's fields a region's plan sets, as text; a channel the plan leaves
// off keeps the offset it has.
export function planFormValues(plan) {
  return Object.fromEntries(Object.entries(formValuesOf(planPatch(plan))).filter(([, text]) => text !== ''));
}

// The form holds text: what the file has, written out, or '' when the file
// lacks the member or holds something that is neither a number nor text.
export function formValuesOf(config) {
  const textOf = (value) => (typeof value === 'number' || typeof value === 'string' ? String(value) : '');
  return Object.fromEntries(forwarderFields.map((field) => [field.name, textOf(readPath(config, field.paths[0]))]));
}

// While a region is selected, a channel the save leaves enabled must listen
// within its band: the forwarder would otherwise listen where the region's
// network servers never send.
function bandProblem(config, values, setup, channel) {
  const region = regionById(setup.region);
  if (!region) return '';
  const planned = plannedConfig(config, setup.plan);
  if (readPath(planned, concentrator(`chan_multiSF_${channel}`, 'enable')) !== true) return '';
  const { frequency } = channelReading(planned, values, channel);
  if (frequency === null || inBand(region.band, frequency)) return '';
  return `Channel ${channel} at ${formatMhz(frequency)} lies outside the ${region.id} band `
    + `(${formatMhz(region.band.min)} to ${formatMhz(region.band.max)})`;
}

// A field's message within the whole form, or '' when it may be saved.
export function formFieldProblem(config, values, setup, field) {
  const problem = fieldProblem(field, values[field.name]);
  if (problem || field.kind !== 'offset') return problem;
  return bandProblem(config, values, setup, field.channel);
}

// Each invalid field's message, by field name; empty when the form may be saved.
export function formProblems(config, values, setup) {
  const problems = {};
  for (const field of forwarderFields) {
    const problem = formFieldProblem(config, values, setup, field);
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

// A save's `setup` holds its choices besides the form's fields: `region`, the
// Region select's entry, whose transmit range the save writes and whose band
// the channels must lie in; `plan`, the region whose channel plan was put into
// the form, or null. A save writes the form's fields, the plan's other members
// and the radio settings of every save.
function savedLeaves(values, setup) {
  const fieldLeaves = forwarderFields.flatMap((field) =>
    field.paths.map((path) => ({ path, value: fieldValue(field, values[field.name]) })));
  const fieldKeys = new Set(fieldLeaves.map(({ path }) => path.join('.')));
  const planLeaves = setup.plan === null ? []
    : leavesOf(planPatch(setup.plan)).filter(({ path }) => !fieldKeys.has(path.join('.')));
  const settingLeaves = leavesOf(radioSettings(setup.region)).map((leaf) => ({ ...leaf, everySave: true }));
  return { fieldLeaves, planLeaves, settingLeaves };
}

// The merge patch for a complete, valid form. Anything else throws, so that no
// half-filled or mistyped form, nor a channel outside the region's band, can
// reach the file.
export function buildPatch(config, values, setup) {
  const problems = formProblems(config, values, setup);
  if (Object.keys(problems).length > 0) throw new InvalidFormError(problems);
  const { fieldLeaves, planLeaves, settingLeaves } = savedLeaves(values, setup);
  const patch = {};
  for (const { path, value } of [...settingLeaves, ...planLeaves, ...fieldLeaves]) writePath(patch, path, value);
  return patch;
}

function ownerLabel(member) {
  const numbered = member.match(/^(radio|chan_multiSF)_(\d)$/);
  if (numbered) return `${numbered[1] === 'radio' ? 'Radio' : 'Channel'} ${numbered[2]}`;
  return { chan_Lora_std: 'LoRa standard channel', chan_FSK: 'FSK channel' }[member];
}

function settingLabel(path) {
  const field = forwarderFields.find((candidate) => candidate.paths.some((fieldPath) => fieldPath.join('.') === path.join('.')));
  const radio = path[1]?.match(/^radio_(\d)$/);
  if (field?.kind === 'baseFrequency') return `Radio ${radio[1]} base frequency`;
  if (field?.kind === 'port') return `Server Port (${path[1] === 'serv_port_up' ? 'up' : 'down'})`;
  if (field) return field.label;
  return `${ownerLabel(path[1])} ${memberLabels[path[2]]}`;
}

// How a value reads in a list of changes: frequencies in MHz, offsets and
// bandwidths in kHz, switches as yes or no, text quoted.
export function describeValue(path, value) {
  const member = path.at(-1);
  if (value === undefined) return 'not set';
  if (typeof value === 'boolean') return value ? 'yes' : 'no';
  if (typeof value === 'number' && (member === 'freq' || member.startsWith('tx_freq_'))) return formatMhz(value);
  if (typeof value === 'number' && member === 'if') return formatOffset(value);
  if (typeof value === 'number' && member === 'bandwidth') return `${value / 1000} kHz`;
  if (typeof value === 'string') return `"${value}"`;
  return JSON.stringify(value);
}

function changeOf(config, { path, value, everySave = false }) {
  const before = readPath(config, path);
  if (before === value) return null;
  return {
    key: path.join('.'),
    label: settingLabel(path),
    before: describeValue(path, before),
    after: describeValue(path, value),
    everySave,
  };
}

// Every member a save of the form would change in `config`, old and new: the
// form's fields in their order, the applied plan's other members, then the
// radio settings of every save where the file differs from them.
export function changesOf(config, values, setup) {
  buildPatch(config, values, setup);
  const { fieldLeaves, planLeaves, settingLeaves } = savedLeaves(values, setup);
  return [...fieldLeaves, ...planLeaves, ...settingLeaves].map((leaf) => changeOf(config, leaf)).filter(Boolean);
}

// The radio settings a save with the selected region writes, as the page
// shows them, each with the file's current value when a save would change it.
export function radioSettingRows(config, region) {
  return leavesOf(radioSettings(region)).map(({ path, value }) => {
    const current = readPath(config, path);
    return {
      key: path.join('.'),
      label: settingLabel(path),
      value: describeValue(path, value),
      current: current === value ? null : describeValue(path, current),
    };
  });
}

// The radio a channel is assigned to by the file, whether it is enabled, and
// the frequency it listens on with the form's base frequencies and offset:
// null where the file names no radio or the form's numbers are not valid yet.
export function channelReading(config, values, channel) {
  const enabled = readPath(config, concentrator(`chan_multiSF_${channel}`, 'enable')) === true;
  const radio = readPath(config, concentrator(`chan_multiSF_${channel}`, 'radio'));
  if (radio !== 0 && radio !== 1) return { radio: null, enabled, frequency: null };
  const base = forwarderFields.find((field) => field.name === `freq${radio}`);
  const offset = forwarderFields.find((field) => field.name === `if${channel}`);
  const valid = (field) => fieldProblem(field, values[field.name]) === '';
  if (!valid(base) || !valid(offset)) return { radio, enabled, frequency: null };
  return { radio, enabled, frequency: fieldValue(base, values[base.name]) + fieldValue(offset, values[offset.name]) };
}
