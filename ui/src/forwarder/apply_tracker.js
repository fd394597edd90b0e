import { useSyncExternalStore } from 'react';

// The change being applied to the forwarder file, followed outside the page
// that started it: the service goes on restarting and watching the forwarder
// when the operator leaves that page, so whichever page is open then shows
// the outcome. One change runs at a time (the service queues any other).

let current = { applying: false, outcome: null };
const listeners = new Set();

function publish(next) {
  current = next;
  for (const listener of listeners) listener();
}

function subscribe(listener) {
  listeners.add(listener);
  return () => listeners.delete(listener);
}

export function useApply() {
  return useSyncExternalStore(subscribe, () => current);
}

// Runs `call`, then `outcomeOf(reply)`, and publishes that outcome; resolves
// with the reply.
export async function trackApply(call, outcomeOf) {
  publish({ applying: true, outcome: null });
  const reply = await call();
  publish({ applying: false, outcome: await outcomeOf(reply) });
  return reply;
}

export function dismissOutcome() {
  publish({ ...current, outcome: null });
}
