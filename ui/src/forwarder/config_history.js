// What the forwarder page says about an apply and about the kept versions.

// The service answers a change that did not hold with a message that ends in
// what became of the previous configuration, and says so when the forwarder
// did not run on that either.
const rolledBack = /previous configuration was (restored|put back)/;
const notRunning = /the forwarder is not running/;

// One of: applied (the forwarder was seen running on the new file), saved
// (no unit to restart), rolledBack (with the service's reason), notRunning
// (the previous file is back, but the forwarder failed on it too) or failed
// (nothing changed, or the outcome is unclear).
export function applyOutcome(reply, unitState) {
  if ('output' in reply) return { kind: unitState === 'unmanaged' ? 'saved' : 'applied', text: '' };
  const text = reply.error?.message ?? 'Network issue';
  if (notRunning.test(text)) return { kind: 'notRunning', text };
  return { kind: rolledBack.test(text) ? 'rolledBack' : 'failed', text };
}

export const applySucceeded = (outcome) => outcome?.kind === 'applied' || outcome?.kind === 'saved';

export function changeSummary(version) {
  if (version.restoredFrom !== undefined) return `restored version ${version.restoredFrom}`;
  if (version.paths.includes('*')) return 'the whole file';
  if (version.paths.length === 0) return 'nothing (saved unchanged)';
  return version.paths.join(', ');
}

export function versionFileName(id) {
  return id === undefined ? 'global_conf.json' : `global_conf.version-${id}.json`;
}

export function formatSize(bytes) {
  return bytes < 1024 ? `${bytes} B` : `${(bytes / 1024).toFixed(1)} KiB`;
}
