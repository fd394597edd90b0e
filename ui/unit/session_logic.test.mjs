// Where the token and the factory-password flag are kept, and which replies
// end a session.
import assert from 'node:assert/strict';
import { beforeEach, test } from 'node:test';

class FakeStorage {
  constructor() { this.items = new Map(); }
  getItem(key) { return this.items.has(key) ? this.items.get(key) : null; }
  setItem(key, value) { this.items.set(key, String(value)); }
  removeItem(key) { this.items.delete(key); }
  contents() { return Object.fromEntries(this.items); }
}

globalThis.localStorage = new FakeStorage();
globalThis.sessionStorage = new FakeStorage();
const storage = await import('../src/session/auth_storage.js');
const { endsSession, noticeSessionEnd, onSessionEnd } = await import('../src/session/session_end.js');

beforeEach(() => {
  globalThis.localStorage.items.clear();
  globalThis.sessionStorage.items.clear();
});

test('the factory-password flag lives and dies with the token', () => {
  storage.saveToken('T1', false, true);
  assert.deepEqual(sessionStorage.contents(), { auth: 'T1', factoryPassword: 'true' });
  assert.equal(storage.loadFactoryPassword(), true);
  // Logging in again, kept across restarts and after the change elsewhere.
  storage.saveToken('T2', true, false);
  assert.deepEqual(sessionStorage.contents(), {});
  assert.deepEqual(localStorage.contents(), { auth: 'T2' });
  assert.equal(storage.loadFactoryPassword(), false);
  storage.saveToken('T3', true, true);
  assert.equal(storage.loadFactoryPassword(), true);
  storage.clearToken();
  assert.deepEqual([localStorage.contents(), sessionStorage.contents()], [{}, {}]);
  assert.equal(storage.loadToken(), '');
  assert.equal(storage.loadFactoryPassword(), false);
});

test('the fresh token after a password change goes where the old one was', () => {
  storage.saveToken('old', true, true);
  storage.replaceToken('fresh');
  assert.deepEqual(localStorage.contents(), { auth: 'fresh' });
  assert.deepEqual(sessionStorage.contents(), {});
  storage.saveToken('old', false, true);
  storage.replaceToken('fresh');
  assert.deepEqual(localStorage.contents(), {});
  assert.deepEqual(sessionStorage.contents(), { auth: 'fresh' });
  assert.equal(storage.loadToken(), 'fresh');
  assert.equal(storage.loadFactoryPassword(), false);
});

test('the device token stays in local storage through every login and logout', () => {
  storage.saveToken('T1', false, false);
  storage.saveDeviceToken('D1');
  storage.clearToken();
  assert.deepEqual([localStorage.contents(), sessionStorage.contents()], [{ deviceToken: 'D1' }, {}]);
  storage.saveDeviceToken(undefined);  // a reply without one keeps it
  assert.equal(storage.loadDeviceToken(), 'D1');
  storage.saveToken('T2', true, false);
  storage.saveDeviceToken('D2');
  assert.deepEqual(localStorage.contents(), { auth: 'T2', deviceToken: 'D2' });
});

test('invalid and expired tokens end the session, other failures do not', () => {
  assert.equal(endsSession({ error: { code: 23010, message: 'Invalid auth token' } }), true);
  assert.equal(endsSession({ error: { code: 27002, message: 'Expired auth token' } }), true);
  for (const reply of [{ output: {} }, { error: { code: 28002 } }, { error: { code: 23009 } },
    { error: { message: 'Network issue' } }, {}]) assert.equal(endsSession(reply), false, JSON.stringify(reply));

  const heard = [];
  const stop = onSessionEnd((message) => heard.push(message));
  const expired = { error: { code: 27002, message: 'Expired auth token' } };
  assert.equal(noticeSessionEnd(expired), expired, 'the reply passes through');
  noticeSessionEnd({ output: {} });
  noticeSessionEnd({ error: { code: 24004, message: 'Password mismatch' } });
  stop();
  noticeSessionEnd({ error: { code: 23010, message: 'Invalid auth token' } });
  assert.deepEqual(heard, ['Expired auth token']);
});

test('a refused token is forgotten alone: one another tab stored since is kept and taken up', () => {
  storage.saveToken('T1', true);
  assert.equal(storage.forgetToken('T1'), '');
  assert.deepEqual(localStorage.contents(), {});
  storage.saveToken('T2', true, true);
  assert.equal(storage.forgetToken('T1'), 'T2');
  assert.deepEqual(localStorage.contents(), { auth: 'T2', factoryPassword: 'true' });
});
