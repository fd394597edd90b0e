// How a unit's state reads on a page: a badge colour, a word, and since when.

const badges = {
  active: { badge: 'success', label: 'Running' },
  failed: { badge: 'error', label: 'Failed' },
  inactive: { badge: 'default', label: 'Stopped' },
  activating: { badge: 'processing', label: 'Starting' },
  deactivating: { badge: 'processing', label: 'Stopping' },
  reloading: { badge: 'processing', label: 'Reloading' },
  unmanaged: { badge: 'default', label: 'Not managed' },
};

const unknown = { badge: 'warning', label: 'Unknown' };

// Whether the unit comes up again after a reboot (systemd's UnitFileState).
const bootStates = { enabled: 'enabled: starts at boot', disabled: 'disabled: stays off after a reboot' };

// `status` is the output of a status procedure, or null before the first
// answer; a failed call reads as unknown with its error text.
export function describeUnitState(status, formatTime = (iso) => new Date(iso).toLocaleString()) {
  if (!status) return { ...unknown, label: 'Checking…', detail: '' };
  const known = badges[status.state] ?? unknown;
  const parts = [];
  if (status.state === 'unmanaged') parts.push('no forwarder unit is configured, so nothing is restarted');
  else if (status.unit) parts.push(status.unit);
  if (status.subState && status.state !== 'active' && status.state !== 'inactive') parts.push(status.subState);
  if (status.since) parts.push(`since ${formatTime(status.since)}`);
  if (status.enabled) parts.push(bootStates[status.enabled] ?? status.enabled);
  if (status.message) parts.push(status.message);
  return { ...known, detail: parts.join(' · ') };
}

export function statusOfReply(reply) {
  if ('output' in reply) return reply.output;
  return { state: 'unknown', message: reply.error?.message ?? 'Network issue' };
}
