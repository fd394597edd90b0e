// Replies started before their page: taken once, by exactly the same call,
// and only while fresh.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { callEarly, peekEarly, takeEarly } from '../src/api/early_calls.js';

test('an early reply is taken once, by the same path and body, while fresh', () => {
  const calls = [];
  const call = (path, body) => {
    calls.push(path);
    return `reply to ${path} ${body.auth}`;
  };
  callEarly('/rpc/a', { auth: 't1' }, call, 1000);
  callEarly('/rpc/b', { auth: 't1' }, call, 1000);
  callEarly('/rpc/c', { auth: 't1' }, call, 1000);
  assert.deepEqual(calls, ['/rpc/a', '/rpc/b', '/rpc/c'], 'started at once');

  assert.equal(takeEarly('/rpc/a', { auth: 't2' }, 1001), null, 'another token asks afresh');
  assert.equal(peekEarly('/rpc/a', { auth: 't1' }, 1001), 'reply to /rpc/a t1', 'a look leaves it for the page');
  assert.equal(takeEarly('/rpc/a', { auth: 't1' }, 1001), 'reply to /rpc/a t1');
  assert.equal(takeEarly('/rpc/a', { auth: 't1' }, 1002), null, 'taken only once');
  assert.equal(takeEarly('/rpc/b', { auth: 't1' }, 10999), 'reply to /rpc/b t1', 'fresh up to 10 s');
  assert.equal(takeEarly('/rpc/c', { auth: 't1' }, 11000), null, 'stale at 10 s');
  assert.equal(takeEarly('/rpc/d', { auth: 't1' }, 1001), null, 'never started');
});
