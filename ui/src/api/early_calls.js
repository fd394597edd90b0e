// Replies asked for before the page that reads them has arrived. On a slow
// link the console's script and its first drawing take as long as the calls
// themselves, so the entry script starts the first page's reads as soon as it
// runs with a stored token; the page's first call of each then takes the reply
// already on its way instead of asking again.

// A reply older than this is not taken: the page asks afresh.
const freshForMs = 10000;

const early = new Map();

const keyOf = (path, body) => `${path} ${JSON.stringify(body)}`;

// Starts `call(path, body)` now, for a later `takeEarly` with the same path
// and body.
export function callEarly(path, body, call, now = Date.now()) {
  early.set(keyOf(path, body), { reply: call(path, body), at: now });
}

// The reply started early for exactly this call, or null, left in place for
// the call that takes it.
export function peekEarly(path, body, now = Date.now()) {
  const entry = early.get(keyOf(path, body));
  return entry && now - entry.at < freshForMs ? entry.reply : null;
}

// The reply started early for exactly this call, or null. Each is taken once.
export function takeEarly(path, body, now = Date.now()) {
  const reply = peekEarly(path, body, now);
  early.delete(keyOf(path, body));
  return reply;
}
