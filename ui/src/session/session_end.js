// Replies after which the stored token will never be accepted again: the
// service restarted (its token key is gone) or the password changed ("Invalid
// auth token"), or the token outlived its lifetime ("Expired auth token").
// Pages show such a reply's message as any other; the console also offers a
// way back to the login page, told through the listeners here.

const invalidAuthToken = 23010;
const expiredAuthToken = 27002;

export function endsSession(reply) {
  const code = reply?.error?.code;
  return code === invalidAuthToken || code === expiredAuthToken;
}

const listeners = new Set();

// Returns the function that stops listening.
export function onSessionEnd(listener) {
  listeners.add(listener);
  return () => listeners.delete(listener);
}

// Passes every reply of a call made with the token through, telling the
// listeners when it ends the session.
export function noticeSessionEnd(reply) {
  if (endsSession(reply)) for (const listener of listeners) listener(reply.error.message);
  return reply;
}
