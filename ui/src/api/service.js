// How the UI talks to the gateway service: every procedure is a POST of a JSON
// body to the procedure's path, and every reply is read as JSON whatever its
// status, because the service puts its error text into the body of 4xx and
// 5xx replies as well. The procedures and their paths are in procedures.js;
// this is the only module of the UI that calls fetch.

import { noticeSessionEnd } from '../session/session_end.js';
import { takeEarly } from './early_calls.js';

const networkIssue = { error: { message: 'Network issue' } };

export async function callService(path, body) {
  let text;
  let retryAfter;
  try {
    const response = await fetch(path, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify(body),
    });
    text = await response.text();
    retryAfter = response.headers.get('retry-after');
  } catch {
    return networkIssue;
  }
  if (!text) return networkIssue;
  let reply;
  try {
    reply = JSON.parse(text);
  } catch {
    return networkIssue;
  }
  if (reply === null || typeof reply !== 'object') return networkIssue;
  // A throttled login says in a header how long to wait; the operator is told.
  if (retryAfter && reply.error) reply.error.retryAfter = Number(retryAfter);
  return reply;
}

export function errorText(reply) {
  const message = reply.error?.message ?? 'Network issue';
  const wait = reply.error?.retryAfter;
  return wait ? `${message}: try again in ${wait} s` : message;
}

// A call made with the token, whose reply may tell that the session has ended.
// A reply already asked for by the entry script is taken rather than asked again.
export const callWithToken = async (path, body) =>
  noticeSessionEnd(await (takeEarly(path, body) ?? callService(path, body)));
