// Which region a forwarder file follows.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { test } from 'node:test';
import { detectRegion, planConcentrator, regions } from '../src/forwarder/regions.js';

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
