// The console's pure rules: reading the form from a configuration document,
// building the patch, and the Dev Mode key sequence.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { buildPatch, formValuesOf } from '../src/forwarder/forwarder_form.js';
import { fixedSettingsId } from '../src/forwarder/regions.js';
import { advanceDevModeSequence, advanceDevModeTaps, devModeSequence } from '../src/pages/dev_mode_keys.js';

test('form values are the text of each field\'s member, and missing members leave it empty', () => {
  const values = formValuesOf({
    gateway_conf: { server_address: 'lns', serv_port_up: 1700, serv_port_down: 1701, gateway_ID: true },
    SX1301_conf: { radio_0: { freq: 867500000 }, chan_multiSF_3: { if: -400000 }, radio_1: 'not an object' },
  });
  assert.equal(values.serverAddress, 'lns');
  assert.equal(values.serverPort, '1700', 'the port shown is the uplink one');
  assert.equal(values.gatewayId, '', 'neither a number nor text');
  assert.equal(values.freq0, '867500000');
  assert.equal(values.if3, '-400000');
  assert.equal(values.if0, '');
  assert.equal(values.freq1, '', 'a non-object on the way is a missing member');
  assert.equal(Object.keys(formValuesOf({})).length, 13);
});

test('the patch starts from the radio settings of every save, sends numbers as numbers and text as typed', () => {
  const form = {
    serverAddress: '10.0.0.2', serverPort: ' 1700 ', gatewayId: 'aa555a0000000000', freq0: '867500000',
    if0: '-400000', if1: '-200000', if2: '0', if3: '+100000', freq1: '868500000', if4: '1', if5: '-1',
    if6: '1000000', if7: '300000', unmapped: 'dropped',
  };
  const patch = buildPatch({}, form, { region: fixedSettingsId, plan: null });
  assert.deepEqual(patch.gateway_conf, {
    server_address: '10.0.0.2', serv_port_up: 1700, serv_port_down: 1700, gateway_ID: 'aa555a0000000000',
  });
  assert.deepEqual(patch.SX1301_conf.radio_0,
    { enable: true, tx_enable: true, tx_freq_min: 923000000, tx_freq_max: 925000000, freq: 867500000 });
  assert.deepEqual(patch.SX1301_conf.radio_1, { enable: true, tx_enable: false, freq: 868500000 });
  assert.deepEqual(patch.SX1301_conf.chan_multiSF_3, { if: 100000 });
  assert.deepEqual(patch.SX1301_conf.chan_multiSF_6, { if: 1000000 });
  assert.deepEqual(patch.SX1301_conf.chan_multiSF_7, { if: 300000 });
  assert.equal(patch.unmapped, undefined);
});

test('the Dev Mode sequence counts keys and restarts on a wrong one', () => {
  const typed = (keys) => keys.reduce(advanceDevModeSequence, 0);
  assert.equal(devModeSequence.length, 12);
  assert.equal(typed(devModeSequence), 12);
  assert.equal(typed(devModeSequence.map((key) => (key.length === 1 ? key.toUpperCase() : key))), 12);
  assert.equal(typed(['Shift', ...devModeSequence.slice(0, 9), 'Shift', ...devModeSequence.slice(9)]), 12);
  assert.equal(typed([...devModeSequence.slice(0, 11), 'x']), 0);
  assert.equal(typed(['ArrowUp', 'ArrowUp', 'ArrowUp']), 1, 'the wrong key may start the sequence anew');
  assert.equal(typed(['x', ...devModeSequence]), 12);
});

test('taps on the version add up only while each comes soon after the last', () => {
  let taps = { count: 0, at: -Infinity };
  for (const at of [0, 1500, 2900, 4000]) taps = advanceDevModeTaps(taps, at);
  assert.equal(taps.count, 4);
  assert.equal(advanceDevModeTaps(taps, 5501).count, 1, 'a late tap starts again');
});
