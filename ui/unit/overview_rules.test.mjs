// The overview page's pure rules: the verdict's words, the points held
// between refreshes, the log's follow and the facts.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { describeVerdict, formatDuration } from '../src/overview/verdict.js';
import { chartData, mergeSeries, sinceOf } from '../src/overview/traffic_series.js';
import { followLines, moreLines, priorityTone } from '../src/overview/log_lines.js';
import { factRows } from '../src/overview/system_facts.js';

const now = 1714557630;
const series = (times, received) => ({ time: times, received, forwarded: received, pushDataAck: times.map(() => 100) });
const verdict = (fields) => ({ verdict: { reports: 'current', lastReport: now - 10, ageSeconds: 10, intervalSeconds: 30,
  receiving: true, serverAnswering: true, ...fields } });

test('the verdict names each state of the gateway, with the time since the last packet', () => {
  const held = series([now - 300, now - 150, now - 120, now - 90, now - 60, now - 30], [4, 2, 0, 0, 0, 0]);
  const headline = (fields, points = held) => describeVerdict(verdict(fields), points, now).headline;
  assert.equal(headline({}), 'Receiving and forwarding');
  assert.equal(describeVerdict(verdict({}), held, now).tone, 'ok');
  assert.equal(headline({ serverAnswering: false }), 'Receiving, but the network server does not answer');
  assert.equal(headline({ receiving: false }), 'No packets for 2 min 30 s');
  assert.equal(headline({ receiving: false }, series([now - 3700, now - 30], [0, 0])), 'No packets for over 1 h 1 min');
  assert.equal(headline({ reports: 'stale', lastReport: now - 400 }), 'No report from the forwarder for 6 min 40 s');
  const none = describeVerdict({ verdict: { reports: 'unknown', lastReport: null, message: 'journalctl: not found' } }, null, now);
  assert.deepEqual([none.tone, none.headline, none.detail], ['unknown', 'No report from the forwarder', 'journalctl: not found']);
  assert.equal(describeVerdict({ verdict: null, error: 'Network issue' }, held, now).detail, 'Network issue');
  assert.deepEqual([0, 59, 60, 150, 3600, 3725, 90061].map(formatDuration),
    ['0 s', '59 s', '1 min', '2 min 30 s', '1 h', '1 h 2 min', '1 d 1 h']);
});

test('a refresh appends only newer points, a complete reply replaces them, and a day is kept', () => {
  const first = mergeSeries(null, { complete: true, series: series([100, 130], [1, 2]) });
  assert.equal(sinceOf(first), 130);
  const added = mergeSeries(first, { complete: false, series: series([160], [3]) });
  assert.deepEqual(added.time, [100, 130, 160]);
  assert.deepEqual(added.received, [1, 2, 3]);
  assert.deepEqual(mergeSeries(added, { complete: true, series: series([500], [9]) }).received, [9]);
  const rolled = mergeSeries(added, { complete: false, series: series([100 + 86400], [4]) });
  assert.deepEqual(rolled.time, [130, 160, 100 + 86400], 'points a day older than the newest go');
  assert.equal(sinceOf(mergeSeries(null, { complete: true, series: series([], []) })), undefined);
  const data = chartData({ time: [1, 2, 3], received: [10, 4, null], forwarded: [9, 4, null], pushDataAck: [50, null, 100] });
  assert.deepEqual(data, [[1, 2, 3], [10, 4, null], [9, 4, null], [5, null, null]]);
});

test('the log follows its cursor within the lines asked for; more lines up to the service\'s bound', () => {
  const held = { lines: [{ text: 'a' }, { text: 'b' }], cursor: 'c2' };
  assert.deepEqual(followLines(held, { lines: [{ text: 'c' }], cursor: 'c3' }, 2), { lines: [{ text: 'b' }, { text: 'c' }],
    cursor: 'c3' });
  assert.deepEqual(followLines(held, { lines: [], cursor: null }, 5), held, 'no new line keeps the cursor');
  assert.deepEqual([30, 120, 480, 500].map(moreLines), [120, 480, 500, 0]);
  assert.deepEqual([0, 3, 4, 6, null].map(priorityTone), ['error', 'error', 'warning', 'normal', 'normal']);
});

test('the facts read as short rows; what could not be read is a dash', () => {
  const rows = Object.fromEntries(factRows({
    hostName: 'gw-0042', osRelease: null, version: '1.1.1', uptimeSeconds: 5110, load: [0.52, 0.5, 1],
    memory: { totalBytes: 3977601024, availableBytes: 3020800000 }, disk: { sizeBytes: null, freeBytes: null },
    clock: { synchronized: false, ntp: true, timeZone: 'Etc/UTC' }, gatewayId: 'B827EBFFFE6A3C21',
    interfaces: [
      { name: 'lo', mac: null, addresses: [{ family: 'ipv4', address: '127.0.0.1', prefixLength: 8 }] },
      { name: 'eth0', mac: 'b8:27:eb:6a:3c:21', addresses: [{ family: 'ipv4', address: '192.168.1.10', prefixLength: 24 },
        { family: 'ipv6', address: 'fe80::1', prefixLength: 64 }] },
      { name: 'wlan0', mac: 'b8:27:eb:6a:3c:22', addresses: [] }],
  }).map(([label, text, tone]) => [label, `${text} (${tone})`]));
  assert.equal(rows.System, '— (normal)');
  assert.equal(rows['Up for'], '1 h 25 min (normal)');
  assert.equal(rows.Load, '0.52 · 0.50 · 1.00 (normal)');
  assert.equal(rows.Memory, '3.0 GB free of 4.0 GB (normal)');
  assert.equal(rows.Disk, '— (normal)');
  assert.equal(rows.Clock, 'not synchronised: packets get wrong times (error)');
  assert.equal(rows.Addresses, 'eth0 192.168.1.10/24, fe80::1/64 (normal)');
  const unreadClock = Object.fromEntries(factRows({ clock: { synchronized: null, message: 'No systemd' } }));
  assert.equal(unreadClock.Clock, 'unknown (No systemd)');
});
