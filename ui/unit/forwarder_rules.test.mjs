// What the forwarder form accepts, how its numbers read, and the list of
// changes a save is confirmed with.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { fieldProblem, formatMhz, formatOffset, offsetWarning } from '../src/forwarder/forwarder_rules.js';
import { buildPatch, changesOf, channelReading, forwarderFields, formValuesOf, InvalidFormError, radioSettingRows }
  from '../src/forwarder/forwarder_form.js';
import { fixedSettingsId } from '../src/forwarder/regions.js';

const field = (name) => forwarderFields.find((candidate) => candidate.name === name);

// [text, accepted] for one field.
function assertTable(name, rows) {
  for (const [text, accepted] of rows) {
    const problem = fieldProblem(field(name), text);
    assert.equal(problem === '', accepted, `${name} ${JSON.stringify(text)}: ${problem || 'accepted'}`);
  }
}

test('nothing may be empty, and empty never passes as 0', () => {
  for (const { name, label } of forwarderFields) {
    for (const empty of ['', '   ', undefined, null]) assert.equal(fieldProblem(field(name), empty), `${label} is required`);
  }
});

test('ports are whole numbers from 1 to 65535', () => {
  assertTable('serverPort', [['0', false], ['1', true], ['2', true], ['65534', true], ['65535', true], ['65536', false],
    ['-1', false], ['abc', false], ['1700.5', false], ['1e3', false], ['0x10', false], [' 1700 ', true], ['17 00', false]]);
  assert.equal(fieldProblem(field('serverPort'), '-1'), 'A whole number from 1 to 65535');
});

test('the server address is a host name or an IP address, without blanks', () => {
  assertTable('serverAddress', [['localhost', true], ['eu1.lns.example.net', true], ['router.eu.thethings.network.', true],
    ['a-b.c', true], ['-ab.c', false], ['ab-.c', false], ['a..b', false], ['a_b.c', false], ['not valid', false],
    [' lns', false], ['lns ', false], ['x'.repeat(63), true], ['x'.repeat(64), false],
    [`${'x'.repeat(63)}.`.repeat(3) + 'x'.repeat(61), true], [`${'x'.repeat(63)}.`.repeat(3) + 'x'.repeat(62), false],
    ['10.0.0.2', true], ['255.255.255.255', true], ['256.0.0.1', false], ['10.0.0', false], ['10.0.0.2.5', false],
    ['010.0.0.1', false], ['1.2.3.', false], ['::1', true], ['fe80::1:2', true], ['2001:db8:0:0:0:0:0:1', true],
    ['2001:db8:0:0:0:0:0', false], ['2001:db8:0:0:0:0:0:1:2', false], ['1::2::3', false], ['::ffff:10.0.0.1', true],
    ['::ffff:10.0.0.256', false], ['12345::', false], ['g::1', false], ['[::1]', false]]);
  assert.equal(fieldProblem(field('serverAddress'), 'my server'), 'No blanks: a host name or an IP address');
});

test('the gateway ID is exactly 16 hexadecimal digits, either case', () => {
  assertTable('gatewayId', [['AA555A0000000000', true], ['aa555a0000000000', true], ['AA555A000000000', false],
    ['AA555A00000000000', false], ['not-hex!', false], ['AA555A000000000G', false], [' AA555A0000000000', false]]);
  assert.equal(fieldProblem(field('gatewayId'), 'AA55'), 'Exactly 16 hexadecimal digits (this has 4)');
  assert.equal(fieldProblem(field('gatewayId'), 'not-hex!'), 'Exactly 16 hexadecimal digits: 0-9 and A-F only');
});

test('base frequencies are whole Hz from 100 to 1000 MHz, and MHz typed by mistake is named', () => {
  assertTable('freq0', [['99999999', false], ['100000000', true], ['100000001', true], ['867500000', true],
    ['999999999', true], ['1000000000', true], ['1000000001', false], ['0', false], ['abc', false],
    ['867500000.5', false], ['-867500000', false]]);
  assert.equal(fieldProblem(field('freq1'), '867.5'), 'In Hz, not MHz: 867.5 MHz is 867500000');
  assert.equal(fieldProblem(field('freq1'), '868'), 'In Hz, not MHz: 868 MHz is 868000000');
  assert.match(fieldProblem(field('freq1'), '0'), /^Out of range: between 100.000 MHz and 1000.000 MHz/);
});

test('channel offsets are whole Hz within ±1 MHz, with a warning past the radio\'s window', () => {
  assertTable('if0', [['-1000001', false], ['-1000000', true], ['-999999', true], ['0', true], ['999999', true],
    ['1000000', true], ['1000001', false], ['99999999', false], ['+200000', true], ['200000.5', false], ['abc', false]]);
  assert.deepEqual(['500000', '-500000', '500001', '-500001', '1000001', ''].map(offsetWarning),
    ['', '', 'Beyond the radio\'s ±0.5 MHz window: it may not be received',
      'Beyond the radio\'s ±0.5 MHz window: it may not be received', '', '']);
});

test('frequencies read in MHz without losing a Hz, offsets in signed kHz', () => {
  const rows = [[868100000, '868.100 MHz'], [867500000, '867.500 MHz'], [868012500, '868.0125 MHz'],
    [868000001, '868.000001 MHz'], [1000000000, '1000.000 MHz'], [0, '0.000 MHz']];
  for (const [hz, text] of rows) assert.equal(formatMhz(hz), text);
  assert.deepEqual([-400000, 0, 200000, -12500].map(formatOffset), ['−400 kHz', '+0 kHz', '+200 kHz', '−12.5 kHz']);
});

const eu868 = {
  gateway_conf: { gateway_ID: 'AA555A0000000000', server_address: 'localhost', serv_port_up: 1680, serv_port_down: 1680 },
  SX1301_conf: {
    radio_0: { enable: true, freq: 867500000, tx_enable: true, tx_freq_min: 863000000, tx_freq_max: 870000000 },
    radio_1: { enable: true, freq: 868500000, tx_enable: false },
    ...Object.fromEntries([[1, -400000], [1, -200000], [1, 0], [0, -400000], [0, -200000], [0, 0], [0, 200000],
      [0, 400000]].map(([radio, offset], channel) => [`chan_multiSF_${channel}`, { enable: true, radio, if: offset }])),
  },
};

test('channels read with the radio the file assigns them', () => {
  const values = formValuesOf(eu868);
  assert.deepEqual(channelReading(eu868, values, 0), { radio: 1, enabled: true, frequency: 868100000 });
  assert.deepEqual(channelReading(eu868, values, 3), { radio: 0, enabled: true, frequency: 867100000 });
  assert.deepEqual(channelReading(eu868, { ...values, freq1: '868300000' }, 2),
    { radio: 1, enabled: true, frequency: 868300000 });
  assert.deepEqual(channelReading(eu868, { ...values, freq1: '868.3' }, 2), { radio: 1, enabled: true, frequency: null });
  assert.deepEqual(channelReading(eu868, { ...values, if2: '' }, 2), { radio: 1, enabled: true, frequency: null });
  assert.deepEqual(channelReading({}, values, 2), { radio: null, enabled: false, frequency: null });
  const oddRadio = { SX1301_conf: { chan_multiSF_2: { enable: 'yes', radio: 2 } } };
  assert.deepEqual(channelReading(oddRadio, values, 2), { radio: null, enabled: false, frequency: null });
});

const fixedSetup = { region: fixedSettingsId, plan: null };

test('a save lists exactly what changes, old and new, the radio settings of every save included', () => {
  const values = formValuesOf(eu868);
  const changes = (edits) => changesOf(eu868, { ...values, ...edits }, fixedSetup)
    .map(({ label, before, after, everySave }) => [label, before, after, everySave]);
  // The file's radio 0 transmits over 863-870 MHz: a save with the fixed
  // settings narrows that.
  const txRange = [['Radio 0 lowest TX frequency', '863.000 MHz', '923.000 MHz', true],
    ['Radio 0 highest TX frequency', '870.000 MHz', '925.000 MHz', true]];
  assert.deepEqual(changes({}), txRange);
  assert.deepEqual(changes({ serverPort: '1700', freq1: '868300000', if7: '-200000' }), [
    ['Server Port (up)', '1680', '1700', false],
    ['Server Port (down)', '1680', '1700', false],
    ['Radio 1 base frequency', '868.500 MHz', '868.300 MHz', false],
    ['Channel 7 frequence offset', '+400 kHz', '−200 kHz', false],
    ...txRange,
  ]);
  const settled = structuredClone(eu868);
  Object.assign(settled.SX1301_conf.radio_0, { tx_freq_min: 923000000, tx_freq_max: 925000000 });
  delete settled.gateway_conf.serv_port_down;
  assert.deepEqual(changesOf(settled, formValuesOf(settled), fixedSetup).map(({ key, before, after }) =>
    [key, before, after]), [['gateway_conf.serv_port_down', 'not set', '1680']]);
  assert.deepEqual(changesOf(settled, { ...formValuesOf(settled), serverAddress: 'lns.example.net' }, fixedSetup)
    .map(({ key }) => key), ['gateway_conf.server_address', 'gateway_conf.serv_port_down']);
});

test('the fixed radio settings show the file\'s value where a save changes it', () => {
  assert.deepEqual(radioSettingRows(eu868, fixedSettingsId).map(({ label, value, current }) => [label, value, current]), [
    ['Radio 0 enabled', 'yes', null],
    ['Radio 0 transmits', 'yes', null],
    ['Radio 0 lowest TX frequency', '923.000 MHz', '863.000 MHz'],
    ['Radio 0 highest TX frequency', '925.000 MHz', '870.000 MHz'],
    ['Radio 1 enabled', 'yes', null],
    ['Radio 1 transmits', 'no', null],
  ]);
  assert.equal(radioSettingRows({}, fixedSettingsId).every(({ current }) => current === 'not set'), true);
});

test('an invalid form builds no patch', () => {
  const values = formValuesOf(eu868);
  for (const edits of [{ serverPort: '' }, { serverPort: '0' }, { freq0: '867.5' }, { if3: '99999999' },
    { serverAddress: ' ' }, { gatewayId: 'not-hex!' }]) {
    assert.throws(() => buildPatch(eu868, { ...values, ...edits }, fixedSetup), InvalidFormError, JSON.stringify(edits));
    assert.throws(() => changesOf(eu868, { ...values, ...edits }, fixedSetup), InvalidFormError);
  }
  assert.throws(() => buildPatch(eu868, {}, fixedSetup), (error) => Object.keys(error.problems).length === 13);
});
