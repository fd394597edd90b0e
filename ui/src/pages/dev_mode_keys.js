// Dev Mode is hidden from casual operators: it appears after this sequence is
// typed anywhere on the main page.
export const devModeSequence = [
  'ArrowUp', 'ArrowUp', 'ArrowDown', 'ArrowDown', 'ArrowLeft', 'ArrowRight',
  'ArrowLeft', 'ArrowRight', 'l', 'o', 'r', 'a',
];

// Modifier keys alone do not count, so holding Shift for a capital letter
// does not break the sequence.
const ignoredKeys = new Set(['Shift', 'Control', 'Alt', 'Meta', 'CapsLock']);

function normalise(key) {
  return key.length === 1 ? key.toLowerCase() : key;
}

// Returns how many keys of the sequence have been typed after `key`. A wrong
// key restarts the sequence, and may itself be its first key.
export function advanceDevModeSequence(progress, key) {
  if (ignoredKeys.has(key)) return progress;
  const typed = normalise(key);
  if (typed === devModeSequence[progress]) return progress + 1;
  return typed === devModeSequence[0] ? 1 : 0;
}
