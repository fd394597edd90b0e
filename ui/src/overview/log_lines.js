// The forwarder's log as the overview page shows it: the last lines first,
// more on demand, then followed from the journal's cursor.

export const firstLines = 30;
// The service answers at most this many lines a call.
export const mostLines = 500;

// How many lines "Show more" asks for after `shown`, or 0 when it cannot.
export function moreLines(shown) {
  return shown >= mostLines ? 0 : Math.min(mostLines, shown * 4);
}

// The lines held after a followed read: the new ones appended, the oldest
// dropped past what was asked for, so that a page left open stays small.
export function followLines(held, output, keep) {
  const lines = held.lines.concat(output.lines);
  return { lines: lines.slice(Math.max(0, lines.length - keep)), cursor: output.cursor ?? held.cursor };
}

// syslog's priorities 0-3 are errors, 4 a warning.
export function priorityTone(priority) {
  if (priority === null || priority === undefined || priority > 4) return 'normal';
  return priority === 4 ? 'warning' : 'error';
}
