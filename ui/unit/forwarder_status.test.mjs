// The forwarder page's pure rules for unit states, apply outcomes and the
// history list.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { describeUnitState, statusOfReply } from '../src/forwarder/unit_state.js';
import { applyOutcome, changeSummary, formatSize, versionFileName } from '../src/forwarder/config_history.js';
import { hasComments, parseProblem, versionToRestore } from '../src/forwarder/file_text.js';

const time = (iso) => `<${iso}>`;

test('unit states read as a badge, a word and the details', () => {
  const running = describeUnitState(
    { unit: 'packet-forwarder', state: 'active', subState: 'running', since: '2026-12-08T20:11:18Z', enabled: 'enabled' },
    time,
  );
  assert.deepEqual(running, { badge: 'success', label: 'Running', detail: 'packet-forwarder · since <2026-12-08T20:11:18Z> · enabled: starts at boot' });
  assert.match(describeUnitState({ unit: 'ssh', state: 'inactive', enabled: 'disabled' }).detail, /stays off after a reboot$/);
  const failed = describeUnitState({ unit: 'pf', state: 'failed', subState: 'exit-code', since: null }, time);
  assert.deepEqual([failed.badge, failed.label, failed.detail], ['error', 'Failed', 'pf · exit-code']);
  assert.equal(describeUnitState({ unit: 'ssh', state: 'inactive', subState: 'dead' }).label, 'Stopped');
  assert.equal(describeUnitState({ unit: 'ssh', state: 'activating', subState: 'start' }).badge, 'processing');
  const unknown = describeUnitState({ unit: 'x', state: 'unknown', message: 'Unit x.service could not be found.' });
  assert.deepEqual([unknown.badge, unknown.label, unknown.detail], ['warning', 'Unknown', 'x · Unit x.service could not be found.']);
  assert.equal(describeUnitState({ unit: 'x', state: 'maintenance' }).label, 'Unknown', 'a state the page does not know');
  assert.equal(describeUnitState({ unit: '', state: 'unmanaged' }).label, 'Not managed');
  assert.equal(describeUnitState(null).label, 'Checking…');
  assert.deepEqual(statusOfReply({ error: { code: 23010, message: 'Invalid auth token' } }),
    { state: 'unknown', message: 'Invalid auth token' });
  assert.deepEqual(statusOfReply({ output: { state: 'active' } }), { state: 'active' });
});

test('an apply ends in exactly one outcome', () => {
  assert.deepEqual(applyOutcome({ output: {} }, 'active'), { kind: 'applied', text: '' });
  assert.deepEqual(applyOutcome({ output: {} }, 'unmanaged'), { kind: 'saved', text: '' });
  const restored = 'The forwarder did not stay running with the new configuration (failed: exit-code); the previous configuration was restored.';
  assert.deepEqual(applyOutcome({ error: { code: 10000, message: restored } }, 'active'), { kind: 'rolledBack', text: restored });
  const both = 'The forwarder could not be restarted with the new configuration (x); the previous configuration was put back, but restarting the forwarder with it failed too (y).';
  assert.equal(applyOutcome({ error: { message: both } }, 'failed').kind, 'rolledBack');
  const neither = 'The forwarder did not stay running with the new configuration (failed: exit-code); the previous configuration was put back, but the forwarder did not stay running with it either (failed: exit-code): the forwarder is not running. Restore a version that ran, or repair the file on the gateway.';
  assert.equal(applyOutcome({ error: { message: neither } }, 'failed').kind, 'notRunning');
  const history = 'The configuration history cannot be written (disk full); nothing was changed.';
  assert.deepEqual(applyOutcome({ error: { message: history } }, 'active'), { kind: 'failed', text: history });
  assert.deepEqual(applyOutcome({ error: { message: 'Network issue' } }, 'unknown'), { kind: 'failed', text: 'Network issue' });
});

test('versions say what changed', () => {
  assert.equal(changeSummary({ paths: ['gateway_conf', 'SX1301_conf'] }), 'gateway_conf, SX1301_conf');
  assert.equal(changeSummary({ paths: ['*'] }), 'the whole file');
  assert.equal(changeSummary({ paths: [] }), 'nothing (saved unchanged)');
  assert.equal(changeSummary({ paths: ['gateway_conf'], restoredFrom: 3 }), 'restored version 3');
  assert.equal(versionFileName(4), 'global_conf.version-4.json');
  assert.equal(versionFileName(), 'global_conf.json');
  assert.equal(formatSize(1023), '1023 B');
  assert.equal(formatSize(1536), '1.5 KiB');
});

test('the file\'s own text: comments outside strings, where it breaks, and what to restore first', () => {
  assert.equal(hasComments('{"a": 1 /* radio */}'), true);
  assert.equal(hasComments('{"url": "http://x/*y", "q": "say \\"//\\""}'), false);
  assert.equal(hasComments('{"a": 5 / 2}'), false);
  assert.equal(parseProblem({ message: 'unexpected }', line: 4, column: 3 }), 'Line 4, column 3: unexpected }');
  assert.equal(parseProblem({ message: 'too deep' }), 'The file: too deep');
  const versions = [{ id: 3, valid: false }, { id: 2, valid: true }, { id: 1, valid: true, factory: true }];
  assert.equal(versionToRestore(versions).id, 1);
  assert.equal(versionToRestore([]), null);
});
