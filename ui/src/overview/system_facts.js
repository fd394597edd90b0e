// The system's facts (system/info) as the overview page's short list.
import { formatDuration } from './verdict.js';

export function formatBytes(bytes) {
  const units = ['B', 'KB', 'MB', 'GB', 'TB'];
  let value = bytes;
  let unit = 0;
  while (value >= 1000 && unit < units.length - 1) {
    value /= 1000;
    unit += 1;
  }
  return `${unit === 0 ? value : value.toFixed(1)} ${units[unit]}`;
}

function clockFact(clock) {
  if (clock?.synchronized === true) return ['synchronised', 'normal'];
  if (clock?.synchronized === false) return ['not synchronised: packets get wrong times', 'error'];
  return [clock?.message ? `unknown (${clock.message})` : 'unknown', 'warning'];
}

const loopback = (address) => address.address === '::1' || address.address.startsWith('127.');

// Each interface with an address other than the loopback's, with its addresses.
function addressesOf(interfaces) {
  return (interfaces ?? []).map((entry) => [entry.name, entry.addresses.filter((address) => !loopback(address))])
    .filter(([, addresses]) => addresses.length > 0)
    .map(([name, addresses]) => `${name} ${addresses.map((address) => `${address.address}/${address.prefixLength}`).join(', ')}`)
    .join('; ');
}

const unknownFact = '—';

// [label, text, tone] rows; a fact the service could not read shows as a dash.
export function factRows(info) {
  const known = (value, format = String) => (value === null || value === undefined ? unknownFact : format(value));
  const { memory, disk } = info;
  return [
    ['Gateway ID', known(info.gatewayId), 'normal'],
    ['Host', known(info.hostName), 'normal'],
    ['System', known(info.osRelease), 'normal'],
    ['Console', known(info.version, (version) => `v${version}`), 'normal'],
    ['Up for', known(info.uptimeSeconds, formatDuration), 'normal'],
    ['Load', known(info.load, (load) => load.map((value) => value.toFixed(2)).join(' · ')), 'normal'],
    ['Memory', memory?.availableBytes == null ? unknownFact
      : `${formatBytes(memory.availableBytes)} free of ${formatBytes(memory.totalBytes)}`, 'normal'],
    ['Disk', disk?.freeBytes == null ? unknownFact : `${formatBytes(disk.freeBytes)} free of ${formatBytes(disk.sizeBytes)}`,
      'normal'],
    ['Clock', ...clockFact(info.clock)],
    ['Addresses', addressesOf(info.interfaces) || unknownFact, 'normal'],
  ];
}
