// Dev Mode is hidden from casual operators: it appears after this sequence is
// typed anywhere on the main page, or after five quick taps on the version
// text, for phones that have no arrow keys.
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

export const devModeTaps = 5;

// Taps further apart than this are a new start: slow, stray taps on the
// version while reading it do not add up.
const tapGapMs = 1500;

// The taps counted after one at `now`, given the count and time of the last.
export function advanceDevModeTaps({ count, at }, now) {
  return { count: now - at <= tapGapMs ? count + 1 : 1, at: now };
}
