// Which members of the packet forwarder's configuration the forwarder page
// shows, and how a saved form becomes a merge patch.

const gateway = (member) => ['gateway_conf', member];
const concentrator = (...members) => ['SX1301_conf', ...members];
const channelOffset = (channel) => ({
  name: `if${channel}`,
  label: `Channel ${channel} frequence offset`,
  numeric: true,
  paths: [concentrator(`chan_multiSF_${channel}`, 'if')],
});

// In display order. The first path is the one read; a value is written to all.
// Network servers speaking the forwarder's UDP protocol take uplinks and
// downlinks on one port, so one field sets both.
export const forwarderFields = [
  { name: 'serverAddress', label: 'Server Address', numeric: false, paths: [gateway('server_address')] },
  { name: 'serverPort', label: 'Server Port', numeric: true, paths: [gateway('serv_port_up'), gateway('serv_port_down')] },
  { name: 'gatewayId', label: 'Gateway ID', numeric: false, paths: [gateway('gateway_ID')] },
  { name: 'freq0', label: 'Base Frequency', divider: 'Radio 0', numeric: true, paths: [concentrator('radio_0', 'freq')] },
  ...[0, 1, 2, 3].map(channelOffset),
  { name: 'freq1', label: 'Base Frequency', divider: 'Radio 1', numeric: true, paths: [concentrator('radio_1', 'freq')] },
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

export function formValuesOf(config) {
  return Object.fromEntries(forwarderFields.map((field) => [field.name, readPath(config, field.paths[0])]));
}

function toNumber(value) {
  return value === undefined || value === null || value === '' ? 0 : Number(value);
}

export function buildPatch(values) {
  const patch = fixedRadioSettings();
  for (const field of forwarderFields) {
    if (!(field.name in values)) continue;
    const value = field.numeric ? toNumber(values[field.name]) : values[field.name];
    if (value === undefined) continue;
    for (const path of field.paths) writePath(patch, path, value);
  }
  return patch;
}
