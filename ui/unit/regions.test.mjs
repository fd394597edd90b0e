// Which region a forwarder file follows, and what a save writes for the
// region the page has selected: its transmit range, its plan, its band rule.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { test } from 'node:test';
import { buildPatch, changesOf, formProblems, formValuesOf, planFormValues } from '../src/forwarder/forwarder_form.js';
import { detectRegion, fixedSettingsId, planConcentrator, regions } from '../src/forwarder/regions.js';

const fixtureText = fs.readFileSync(new URL('../../tests/data/semtech-eu868-global_conf.json', import.meta.url), 'utf8');
const eu868File = JSON.parse(fixtureText.replace(/\/\*[\s\S]*?\*\//g, ''));
const regionsFile = JSON.parse(fs.readFileSync(new URL('../src/forwarder/lora-regions.json', import.meta.url), 'utf8'));

const planFile = (id) => ({ SX1301_conf: structuredClone(planConcentrator(regions.find((region) => region.id === id))) });

// A copy of `config` with some SX1301_conf members merged in.
function edited(config, members) {
  const copy = structuredClone(config);
  for (const [member, settings] of Object.entries(members)) {
    copy.SX1301_conf[member] = { ...copy.SX1301_conf[member], ...settings };
  }
  return copy;
}

// The service merges a patch object by object; anything else replaces.
function merged(document, patch) {
  const isObject = (value) => value !== null && typeof value === 'object' && !Array.isArray(value);
  if (!isObject(patch) || !isObject(document)) return patch;
  const result = { ...document };
  for (const [member, value] of Object.entries(patch)) result[member] = merged(document[member], value);
  return result;
}

test('a file is matched by its enabled channels: exactly, else by the narrowest band, else not at all', () => {
  const rows = [
    ...regionsFile.regions.map((region) => [`${region.id}'s own plan`, planFile(region.id), region.id]),
    ['the Semtech EU868 file', eu868File, 'EU868'],
    ['the EU868 file after a save wrote 923-925 MHz',
      edited(eu868File, { radio_0: { tx_freq_min: 923000000, tx_freq_max: 925000000 } }), 'EU868'],
    ['US915 with channel 7 moved to 905.4 MHz', edited(planFile('US915'), { chan_multiSF_7: { if: 400000 } }), 'US915'],
    ['923.2 and 923.4 MHz only: within five bands, 923-925 MHz the narrowest', edited(planFile('AS923-925'),
      Object.fromEntries([2, 3, 4, 5, 6, 7].map((channel) => [`chan_multiSF_${channel}`, { enable: false }]))),
    'AS923-925'],
    ['KR920 with channel 0 moved to 921.9 MHz: the AS923 band is as narrow and comes first',
      edited(planFile('KR920'), { chan_multiSF_0: { if: -500000 } }), 'AS920-923'],
    ['radios at 880 MHz, between the bands', edited(eu868File, { radio_0: { freq: 880000000 }, radio_1: { freq: 880500000 } }),
      null],
    ['no enabled channel', edited(planFile('IN865'), Object.fromEntries([0, 1, 2].map((channel) =>
      [`chan_multiSF_${channel}`, { enable: false }]))), null],
    ['an enabled channel on a radio the file lacks', edited(eu868File, { chan_multiSF_3: { radio: 2 } }), null],
    ['no SX1301_conf', {}, null],
  ];
  for (const [what, config, region] of rows) assert.equal(detectRegion(config), region, what);
});

test('a save writes the selected entry\'s transmit range, and a region\'s band holds every enabled channel', () => {
  const values = formValuesOf(eu868File);
  const transmitRange = (region) => {
    const { radio_0: radio0, radio_1: radio1 } = buildPatch(eu868File, values, { region, plan: null }).SX1301_conf;
    return [radio0.tx_enable, radio0.tx_freq_min, radio0.tx_freq_max, radio1.tx_enable];
  };
  assert.deepEqual(transmitRange('EU868'), [true, 863000000, 870000000, false]);
  assert.deepEqual(transmitRange(fixedSettingsId), [true, 923000000, 925000000, false]);
  assert.deepEqual(changesOf(eu868File, values, { region: 'EU868', plan: null }), [], 'the EU868 file saves as it is');

  const beyondBand = { ...values, freq1: '869900000', if2: '200000' };
  assert.deepEqual(formProblems(eu868File, beyondBand, { region: 'EU868', plan: null }),
    { if2: 'Channel 2 at 870.100 MHz lies outside the EU868 band (863.000 MHz to 870.000 MHz)' });
  assert.deepEqual(formProblems(eu868File, beyondBand, { region: fixedSettingsId, plan: null }), {});
  const channel2Off = edited(eu868File, { chan_multiSF_2: { enable: false } });
  assert.deepEqual(formProblems(channel2Off, beyondBand, { region: 'EU868', plan: null }), {});
  assert.deepEqual(Object.keys(formProblems(eu868File, values, { region: 'US915', plan: null })),
    ['if0', 'if1', 'if2', 'if3', 'if4', 'if5', 'if6', 'if7']);
});

function leavesOf(node, path = []) {
  if (node === null || typeof node !== 'object') return [[path, node]];
  return Object.entries(node).flatMap(([member, child]) => leavesOf(child, [...path, member]));
}

test('a region\'s plan writes every member it holds and lists each one that changes', () => {
  for (const plan of regionsFile.regions.filter((region) => ['US915', 'IN865'].includes(region.id))) {
    const setup = { region: plan.id, plan: plan.id };
    const values = { ...formValuesOf(eu868File), ...planFormValues(plan.id) };
    const patch = buildPatch(eu868File, values, setup);
    const saved = merged(eu868File, patch);
    const planMembers = { radio_0: plan.radio_0, radio_1: plan.radio_1, chan_Lora_std: plan.chan_Lora_std,
      chan_FSK: plan.chan_FSK, ...Object.fromEntries(plan.chan_multiSF.map((channel, index) =>
        [`chan_multiSF_${index}`, channel])) };
    for (const [member, settings] of Object.entries(planMembers)) {
      assert.deepEqual(saved.SX1301_conf[member], { ...saved.SX1301_conf[member], ...settings }, `${plan.id} ${member}`);
    }
    const fileValue = (path) => path.reduce((node, member) => node?.[member], eu868File);
    const changedKeys = leavesOf(patch).filter(([path, value]) => fileValue(path) !== value).map(([path]) => path.join('.'));
    assert.deepEqual(changesOf(eu868File, values, setup).map(({ key }) => key).sort(), changedKeys.sort(), plan.id);
  }
});
