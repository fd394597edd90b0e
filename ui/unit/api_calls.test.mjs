// What each procedure of ui/src/api sends over the wire (path, method, header
// and body, byte for byte), and that no module outside ui/src/api calls the
// service itself.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const requests = [];
let replyText = '{"output":{}}';
let replyHeaders = {};
globalThis.fetch = async (url, init) => {
  requests.push({ url, method: init.method, headers: init.headers, body: init.body });
  return { text: async () => replyText, headers: new Headers(replyHeaders) };
};
const api = await import('../src/api/procedures.js');
const { errorText } = await import('../src/api/service.js');

function sent() {
  return requests.splice(0).map(({ url, body }) => [url, body]);
}

// The paths and bodies are the service's: some procedures are under /rpc/,
// others under /rpc/v1/, and a body's members go in this order.
test('every procedure posts its body as JSON to its own path', async () => {
  await api.login('admin', 'pw');
  await api.login('admin', 'pw', 'D');
  await api.updatePassword('T', 'old', 'new');
  await api.loadForwarderConfig('T');
  await api.saveForwarderConfig('T', { gateway_conf: { serv_port_up: 1700 } });
  await api.loadHistory('T');
  await api.loadVersion('T', 3);
  await api.restoreVersion('T', 4);
  await api.loadForwarderStatus('T');
  await api.startSsh('T');
  await api.stopSsh('T');
  await api.loadSshStatus('T');
  for (const request of requests) {
    assert.equal(request.method, 'POST');
    assert.deepEqual(request.headers, { 'Content-Type': 'application/json' });
  }
  assert.deepEqual(sent(), [
    ['/rpc/v1/login/password', '{"username":"admin","password":"pw"}'],
    ['/rpc/v1/login/password', '{"username":"admin","password":"pw","deviceToken":"D"}'],
    ['/rpc/password/update', '{"auth":"T","input":{"currentPassword":"old","newPassword":"new"}}'],
    ['/rpc/forwarder-config/get', '{"auth":"T"}'],
    ['/rpc/forwarder-config/patch', '{"input":{"gateway_conf":{"serv_port_up":1700}},"auth":"T"}'],
    ['/rpc/v1/forwarder-config/history', '{"auth":"T"}'],
    ['/rpc/v1/forwarder-config/version', '{"auth":"T","input":{"id":3}}'],
    ['/rpc/v1/forwarder-config/restore', '{"auth":"T","input":{"id":4}}'],
    ['/rpc/v1/forwarder/status', '{"auth":"T"}'],
    ['/rpc/sshd/start', '{"auth":"T","input":{}}'],
    ['/rpc/sshd/stop', '{"auth":"T","input":{}}'],
    ['/rpc/v1/sshd/status', '{"auth":"T"}'],
  ]);
});

test('a reply that is not a JSON object reads as a network issue', async () => {
  for (const text of ['', 'null', '42', '<html>', '{"output"']) {
    replyText = text;
    assert.equal(errorText(await api.loadForwarderConfig('T')), 'Network issue', JSON.stringify(text));
  }
  replyText = '{"error":{"code":23010,"message":"Invalid auth token"}}';
  assert.equal(errorText(await api.loadForwarderConfig('T')), 'Invalid auth token');
  // A throttled login's wait comes in its Retry-After header.
  replyText = '{"error":{"code":25000,"message":"Exceed limit"}}';
  replyHeaders = { 'Retry-After': '42' };
  assert.equal(errorText(await api.login('admin', 'pw')), 'Exceed limit: try again in 42 s');
  replyHeaders = {};
  replyText = '{"output":{}}';
  sent();
});

// The entry script's early reads must be the very calls the forwarder page
// makes first, or the page would ask again and the early replies go to waste.
test('the forwarder page\'s first reads are taken from the early start', async () => {
  api.startForwarderPageReads('E');
  assert.deepEqual(sent().map(([url]) => url),
    ['/rpc/forwarder-config/get', '/rpc/v1/forwarder/status', '/rpc/v1/forwarder-config/history']);
  await api.loadForwarderConfig('E');
  await api.loadForwarderStatus('E');
  await api.loadHistory('E');
  assert.deepEqual(sent(), [], 'no call asked again');
  await api.loadForwarderConfig('E');
  assert.deepEqual(sent(), [['/rpc/forwarder-config/get', '{"auth":"E"}']], 'each is taken once');
});

// Every request to the service goes through ui/src/api: elsewhere no module
// calls fetch (or another way of sending) or names a procedure's path.
test('only ui/src/api calls the service', () => {
  const src = fileURLToPath(new URL('../src/', import.meta.url));
  const modules = fs.readdirSync(src, { recursive: true })
    .filter((file) => /\.(js|jsx|mjs)$/.test(file) && !file.startsWith(`api${path.sep}`));
  assert.ok(modules.length > 20, `found the sources (${modules.length})`);
  const calls = /\bfetch\s*\(|XMLHttpRequest|sendBeacon|EventSource|WebSocket|\/rpc\//;
  const offenders = modules.filter((file) => calls.test(fs.readFileSync(path.join(src, file), 'utf8')));
  assert.deepEqual(offenders, []);
});
