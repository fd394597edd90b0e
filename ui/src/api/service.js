// Calls to the gateway service. Every call is a POST with a JSON body, and
// every reply is read as JSON whatever its status, because the service puts
// its error text into the body of 4xx and 5xx replies as well.

import { takeEarly } from './early_calls.js';
import { noticeSessionEnd } from '../session/session_end.js';

const networkIssue = { error: { message: 'Network issue' } };

export async function callService(path, body) {
  let text;
  try {
    const response = await fetch(path, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify(body),
    });
    text = await response.text();
  } catch {
    return networkIssue;
  }
  if (!text) return networkIssue;
  try {
    const reply = JSON.parse(text);
    return reply !== null && typeof reply === 'object' ? reply : networkIssue;
  } catch {
    return networkIssue;
  }
}

export function errorText(reply) {
  return reply.error?.message ?? 'Network issue';
}

export const login = (username, password) =>
  callService('/rpc/v1/login/password', { username, password });

// A call made with the token, whose reply may tell that the session has ended.
// A reply already asked for by the entry script is taken rather than asked again.
export const callWithToken = async (path, body) =>
  noticeSessionEnd(await (takeEarly(path, body) ?? callService(path, body)));

export const forwarderConfigGetPath = '/rpc/forwarder-config/get';

export const loadForwarderConfig = (auth) => callWithToken(forwarderConfigGetPath, { auth });

export const saveForwarderConfig = (auth, patch) =>
  callWithToken('/rpc/forwarder-config/patch', { input: patch, auth });

export const updatePassword = (auth, currentPassword, newPassword) =>
  callWithToken('/rpc/password/update', { auth, input: { currentPassword, newPassword } });

export const startSsh = (auth) => callWithToken('/rpc/sshd/start', { auth, input: {} });

export const stopSsh = (auth) => callWithToken('/rpc/sshd/stop', { auth, input: {} });
