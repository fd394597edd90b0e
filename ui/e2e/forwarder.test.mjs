// The overview and forwarder pages in Debian's Chromium against the real service
// binary: the reports, the form, an apply watched, and the history.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, test } from 'node:test';
import { reportLines, settings, waitUntil } from './harness.mjs';
import { shareOneBrowser, applyWait, assertAccessible, clickAtRest, confirmation, logIn, logInToForwarder, openMenu,
  openPage, pageMessage, recordPatches, saveAndConfirm, service, testTimeout, verdictHeadline, waitForPath,
  withService } from './console_steps.mjs';

shareOneBrowser();

describe('overview page', () => {
  const nowSeconds = () => Math.floor(Date.now() / 1000);
  // The service reads the journal at start, then at a call of forwarder/traffic
  // no sooner than 2 s after its last read: a journal played after its start
  // is read at its restart, so that the first call finds every report.
  const silentServer = { pushAck: '0.00%', pullAck: '0.00%' };
  const scenarios = [
    { name: 'no report yet', play: () => {}, headline: /^No report from the forwarder$/, tone: 'unknown' },
    { name: 'receiving and forwarding', play: (now) => service.reports(now, [3, 5, 4, 6, 2]),
      headline: /^Receiving and forwarding$/, tone: 'ok' },
    { name: 'the network server silent', play: (now) => service.reports(now, [3, 5, 4, 6, 2], silentServer),
      headline: /^Receiving, but the network server does not answer$/, tone: 'error' },
    // The last packet came in the report 150 s ago, and five reports since had none.
    { name: 'no packets', play: (now) => service.reports(now, [4, 2, 0, 0, 0, 0, 0]),
      headline: /^No packets for 2 min [3-5]\d s$/, tone: 'warning' },
  ];

  for (const scenario of scenarios) {
    test(`says "${scenario.headline.source}" for ${scenario.name}, before the chart's code has come`, testTimeout, () =>
      withService(async () => {
        scenario.play(nowSeconds());
        await service.restart();
        const page = await openPage('/login');
        const heldChart = [];
        await page.route(/\/traffic_chart-[^/]+\.js$/, (route) => heldChart.push(route));
        await logIn(page);
        await waitForPath(page, '/ui/overview');
        await page.locator(`.verdict[data-tone="${scenario.tone}"]`).waitFor();
        assert.match(await verdictHeadline(page).textContent(), scenario.headline);
        await page.locator('.system-facts').getByText('AA555A0000000000', { exact: true }).waitFor();
        assert.equal(await page.locator('.traffic-chart').count(), 0, 'the chart waits for its code');
        if (scenario.tone !== 'unknown') await waitUntil(() => heldChart.length === 1, 10000, 'the chart\'s code to be asked for');
        assert.equal(await page.locator('.ant-menu-item').first().textContent(), 'Overview', 'first in the menu');
        assert.deepEqual(page.pageErrors, []);
      }));
  }

  // Records the input of each call of the page's refreshed procedures.
  function recordInputs(page) {
    const inputs = { traffic: [], log: [] };
    page.on('request', (request) => {
      const name = request.url().match(/\/forwarder\/(traffic|log)$/)?.[1];
      if (name) inputs[name].push(request.postDataJSON().input);
    });
    return inputs;
  }

  test('draws every report, follows the log at each refresh, shows more on demand, and asks nothing while hidden',
    { timeout: 120000 }, () => withService(async () => {
      const now = nowSeconds();
      service.journal(Array.from({ length: 40 }, (_, at) => `INFO: [main] starting, step ${at}`), now - 400);
      service.reports(now, [3, 5, 4, 6, 2, 7, 5, 4, 6, 3]);
      await service.restart();
      const page = await openPage('/login');
      const inputs = recordInputs(page);
      await logIn(page);
      await page.locator('.traffic-chart[data-points="10"]').waitFor({ timeout: 20000 });
      const lines = page.locator('.log-lines li');
      await lines.last().getByText('##### END #####', { exact: false }).waitFor();
      assert.equal(await lines.count(), 30);

      const later = Math.max(nowSeconds(), now + 1);
      service.journal(reportLines(later, 8), later);
      service.journal('ERROR: [down] no PULL_ACK received in 30 s', later, 3);
      const refresh = { timeout: 25000 };
      await page.locator('.log-lines li[data-tone="error"]').getByText('no PULL_ACK', { exact: false }).waitFor(refresh);
      await page.locator('.traffic-chart[data-points="11"]').waitFor(refresh);
      assert.equal(await lines.count(), 30, 'a followed log keeps the lines asked for');
      assert.equal(inputs.traffic[0], undefined, 'the first read takes the whole window');
      assert.ok(inputs.traffic.slice(1).every((input) => input.since >= now), JSON.stringify(inputs.traffic));
      assert.ok(inputs.log.slice(1).every((input) => /^c\d+$/.test(input.cursor)), JSON.stringify(inputs.log));

      await page.getByRole('button', { name: 'Show more' }).click();
      await waitUntil(async () => await lines.count() === 120, 10000, 'more lines');

      // Nothing happens while hidden, so this waits past a refresh's period.
      const asked = () => inputs.traffic.length + inputs.log.length;
      const setVisibility = (state) => page.evaluate((value) => {
        Object.defineProperty(document, 'visibilityState', { value, configurable: true });
        document.dispatchEvent(new Event('visibilitychange'));
      }, state);
      await setVisibility('hidden');
      const whileHidden = asked();
      await page.waitForTimeout(12000);
      assert.equal(asked(), whileHidden, 'no call while hidden');
      await setVisibility('visible');
      await waitUntil(() => asked() > whileHidden, 5000, 'a refresh once visible again');
    }));
});

describe('forwarder page', () => {
  const labels = ['Server Address', 'Server Port', 'Gateway ID', 'Region', 'Base Frequency', 'Channel 0 frequence offset',
    'Channel 1 frequence offset', 'Channel 2 frequence offset', 'Channel 3 frequence offset', 'Base Frequency',
    'Channel 4 frequence offset', 'Channel 5 frequence offset', 'Channel 6 frequence offset',
    'Channel 7 frequence offset'];
  const fileValues = {
    serverAddress: 'localhost', serverPort: '1680', gatewayId: 'AA555A0000000000', freq0: '867500000',
    if0: '-400000', if1: '-200000', if2: '0', if3: '-400000', freq1: '868500000',
    if4: '-200000', if5: '0', if6: '200000', if7: '400000',
  };

  test('shows the file\'s values under their labels, in order', testTimeout, () => withService(async () => {
    const page = await openPage('/login');
    await logInToForwarder(page);
    assert.deepEqual(await page.locator('.forwarder-form .ant-form-item-label label').allTextContents(), labels);
    assert.deepEqual(await page.locator('.forwarder-form .ant-divider').allTextContents(), ['Radio 0', 'Radio 1']);
    for (const [field, value] of Object.entries(fileValues)) {
      assert.equal(await page.locator(`#${field}`).inputValue(), value, field);
    }
  }));

  test('shows each channel\'s radio and frequency as the file assigns them, and what every save writes', testTimeout,
    () => withService(async () => {
      const page = await openPage('/login');
      await logInToForwarder(page);
      const reading = (field) => page.locator(`[data-reading="${field}"]`).textContent();
      assert.equal(await reading('freq0'), 'Hz = 867.500 MHz');
      assert.equal(await reading('freq1'), 'Hz = 868.500 MHz');
      assert.equal(await reading('if0'), 'radio 1 · 868.100 MHz', 'channel 0 is on radio 1 in the EU868 file');
      assert.equal(await reading('if2'), 'radio 1 · 868.500 MHz');
      assert.equal(await reading('if3'), 'radio 0 · 867.100 MHz');
      assert.equal(await reading('if7'), 'radio 0 · 867.900 MHz');
      await page.locator('#freq1').fill('868300000');
      assert.equal(await reading('if0'), 'radio 1 · 867.900 MHz', 'the reading follows the form');
      await page.locator('#freq1').fill('868.3');
      assert.equal(await reading('if0'), 'radio 1 · ?');
      // The EU868 file's own range is what every save writes while EU868 is
      // selected; the fixed settings narrow it.
      const fixed = page.locator('.fixed-settings');
      const lowestTx = fixed.locator('[data-setting="SX1301_conf.radio_0.tx_freq_min"]');
      assert.equal(await page.locator('#region option:checked').textContent(), 'EU868: EU 863-870 MHz');
      assert.equal(await lowestTx.textContent(), 'Radio 0 lowest TX frequency863.000 MHz');
      assert.equal(await fixed.locator('.fixed-settings-warning').count(), 0);
      await page.locator('#region').selectOption('Fixed settings (923–925 MHz)');
      await lowestTx.getByText('file: 863.000 MHz').waitFor();
      assert.match(await lowestTx.textContent(), /923\.000 MHz/);
      assert.match(await fixed.textContent(), /Saving changes 2 radio settings of the file/);
      await assertAccessible(page, 'forwarder page');
    }));

  // Rounds of invalid values, one per field at most, all refused at one Save.
  const invalidInputs = [
    { serverPort: ['abc', 'A whole number from 1 to 65535'],
      freq0: ['abc', 'Whole Hz, between 100.000 MHz and 1000.000 MHz'],
      freq1: ['867.5', 'In Hz, not MHz: 867.5 MHz is 867500000'],
      if5: ['99999999', 'Out of range: within ±1 MHz (-1000000 to 1000000 Hz)'],
      serverAddress: ['', 'Server Address is required'],
      gatewayId: ['not-hex!', 'Exactly 16 hexadecimal digits: 0-9 and A-F only'] },
    { serverPort: ['', 'Server Port is required'],
      freq0: ['', 'Base Frequency is required'],
      serverAddress: ['   ', 'Server Address is required'] },
    { serverPort: ['-1', 'A whole number from 1 to 65535'],
      freq0: ['0', 'Out of range: between 100.000 MHz and 1000.000 MHz (100000000 to 1000000000 Hz)'],
      serverAddress: ['lns example', 'No blanks: a host name or an IP address'] },
  ];

  test('refuses every invalid value with its message and sends nothing', testTimeout, () => withService(async () => {
    const page = await openPage('/login');
    await logInToForwarder(page);
    const patches = recordPatches(page);
    const kept = await page.evaluate(() => Object.fromEntries([...document.querySelectorAll('.forwarder-form input')]
      .map((input) => [input.id, input.value])));
    for (const round of invalidInputs) {
      for (const [field, [typed]] of Object.entries(round)) await page.locator(`#${field}`).fill(typed);
      await page.getByRole('button', { name: 'Save' }).click();
      for (const [field, [typed, problem]] of Object.entries(round)) {
        await page.locator(`#${field}_help`).getByText(problem, { exact: true }).waitFor();
        assert.equal(await page.locator(`#${field}`).inputValue(), typed, 'what was typed stays as typed');
      }
      assert.equal(await confirmation(page).count(), 0, 'no confirmation');
      for (const field of Object.keys(round)) await page.locator(`#${field}`).fill(kept[field]);
      await page.locator('.ant-form-item-explain-error').first().waitFor({ state: 'detached' });
    }
    await page.locator('#if5').fill('600000');
    await page.locator('#if5_help').getByText('Beyond the radio\'s ±0.5 MHz window: it may not be received').waitFor();
    assert.deepEqual(patches, []);
    assert.deepEqual(service.systemctlCalls(), []);
  }));

  test('a save shows exactly what changes and restarts only once confirmed; Enter asks the same', testTimeout, () =>
    withService(async () => {
      const before = service.config();
      const page = await openPage('/login');
      await logInToForwarder(page);
      const patches = recordPatches(page);
      assert.equal(await page.locator('#region').inputValue(), 'EU868');
      await page.getByLabel('Server Port').fill('1700');
      await page.getByLabel('Server Address').fill('eu1.lns.example.net');
      await page.locator('#if7').fill('-200000');
      await page.locator('#if7').press('Enter');
      const rows = confirmation(page).locator('.change-table tbody tr');
      await rows.first().waitFor();
      assert.deepEqual(await rows.evaluateAll((trs) => trs.map((tr) => [...tr.cells].map((cell) => cell.textContent))), [
        ['Server Address', '"localhost"', '"eu1.lns.example.net"'],
        ['Server Port (up)', '1680', '1700'],
        ['Server Port (down)', '1680', '1700'],
        ['Channel 7 frequence offset', '+400 kHz', '−200 kHz'],
      ]);
      await assertAccessible(page, 'the confirmation');
      await clickAtRest(confirmation(page).getByRole('button', { name: 'Cancel' }));
      await confirmation(page).waitFor({ state: 'hidden' });
      assert.deepEqual(patches, [], 'Cancel sends nothing');
      assert.equal(await page.locator('#if7').inputValue(), '-200000', 'the edits stay');

      await saveAndConfirm(page);
      await pageMessage(page, 'Configuration updated').waitFor(applyWait);
      assert.equal(patches.length, 1);
      const saved = service.config();
      assert.equal(saved.gateway_conf.serv_port_up, 1700);
      assert.equal(saved.gateway_conf.serv_port_down, 1700);
      assert.equal(saved.gateway_conf.server_address, 'eu1.lns.example.net');
      assert.equal(saved.gateway_conf.gateway_ID, 'AA555A0000000000');
      assert.deepEqual(saved.SX1301_conf.radio_0, { ...before.SX1301_conf.radio_0, enable: true, tx_enable: true,
        tx_freq_min: 863000000, tx_freq_max: 870000000 });
      assert.deepEqual(saved.SX1301_conf.radio_1, { ...before.SX1301_conf.radio_1, enable: true, tx_enable: false });
      assert.equal(saved.SX1301_conf.chan_multiSF_7.if, -200000);
      assert.deepEqual(saved.SX1301_conf.chan_Lora_std, before.SX1301_conf.chan_Lora_std);
      assert.deepEqual(service.systemctlCalls(), ['restart packet-forwarder']);

      // The page starts again from the file: an unchanged form lists nothing.
      await page.getByText('No unsaved changes.').waitFor();
      await page.getByRole('button', { name: 'Save' }).click();
      await confirmation(page).getByText('Nothing in the file changes.', { exact: false }).waitFor();
    }));

  test('a file of no known region starts on the fixed settings and saves them as before', testTimeout, () =>
    withService(async () => {
      const between = service.config();
      Object.assign(between.SX1301_conf.radio_0, { freq: 880000000 });
      Object.assign(between.SX1301_conf.radio_1, { freq: 880500000 });
      fs.writeFileSync(service.configPath, JSON.stringify(between));
      const page = await openPage('/login');
      await logInToForwarder(page);
      await page.locator('#region-note').getByText('region was not recognised', { exact: false }).waitFor();
      assert.equal(await page.locator('#region option:checked').textContent(), 'Fixed settings (923–925 MHz)');
      await assertAccessible(page, 'forwarder page with an unrecognised region');
      await saveAndConfirm(page);
      await pageMessage(page, 'Configuration updated').waitFor(applyWait);
      const saved = service.config().SX1301_conf;
      assert.deepEqual(saved.radio_0, { ...between.SX1301_conf.radio_0, tx_freq_min: 923000000, tx_freq_max: 925000000 });
      assert.deepEqual(saved.radio_1, between.SX1301_conf.radio_1);
    }));

  test('a region refuses channels outside its band; its plan fills the form, lists and writes every member', testTimeout,
    () => withService(async () => {
      const page = await openPage('/login');
      await logInToForwarder(page);
      const patches = recordPatches(page);
      await page.locator('#region').selectOption('US915');
      await page.getByRole('button', { name: 'Save' }).click();
      await page.locator('#if0_help')
        .getByText('Channel 0 at 868.100 MHz lies outside the US915 band (902.000 MHz to 928.000 MHz)', { exact: true })
        .waitFor();
      assert.equal(await page.locator('.forwarder-form .ant-form-item-explain-error').count(), 8);
      assert.equal(await confirmation(page).count(), 0, 'no confirmation');

      await page.getByRole('button', { name: 'Use this region\'s channel plan' }).click();
      await page.locator('.ant-form-item-explain-error').first().waitFor({ state: 'detached' });
      assert.equal(await page.locator('[data-reading="if0"]').textContent(), 'radio 0 · 903.900 MHz');
      await page.getByRole('button', { name: 'Save' }).click();
      const rows = confirmation(page).locator('.change-table tbody tr');
      await rows.first().waitFor();
      assert.deepEqual(await rows.evaluateAll((trs) => trs.map((tr) => [...tr.cells].map((cell) => cell.textContent)
        .join(' | '))), [
        'Radio 0 base frequency | 867.500 MHz | 904.300 MHz', 'Channel 3 frequence offset | −400 kHz | +200 kHz',
        'Radio 1 base frequency | 868.500 MHz | 905.000 MHz', 'Channel 4 frequence offset | −200 kHz | −300 kHz',
        'Channel 5 frequence offset | +0 kHz | −100 kHz', 'Channel 6 frequence offset | +200 kHz | +100 kHz',
        'Channel 7 frequence offset | +400 kHz | +300 kHz',
        ...[0, 1, 2].map((channel) => `Channel ${channel} radio | 1 | 0`),
        ...[4, 5, 6, 7].map((channel) => `Channel ${channel} radio | 0 | 1`),
        'LoRa standard channel radio | 1 | 0', 'LoRa standard channel offset | −200 kHz | +300 kHz',
        'LoRa standard channel bandwidth | 250 kHz | 500 kHz', 'LoRa standard channel spreading factor | 7 | 8',
        'FSK channel enabled | yes | no',
        'Radio 0 lowest TX frequency written by every save | 863.000 MHz | 923.000 MHz',
        'Radio 0 highest TX frequency written by every save | 870.000 MHz | 928.000 MHz',
      ]);
      await assertAccessible(page, 'the confirmation of a region\'s plan');
      await clickAtRest(confirmation(page).getByRole('button', { name: 'Save and restart' }));
      await pageMessage(page, 'Configuration updated').waitFor(applyWait);
      assert.equal(patches.length, 1);

      const saved = service.config().SX1301_conf;
      const regionsFile = JSON.parse(fs.readFileSync(new URL('../src/forwarder/lora-regions.json', import.meta.url), 'utf8'));
      const plan = regionsFile.regions.find((region) => region.id === 'US915');
      const planMembers = { radio_0: plan.radio_0, radio_1: plan.radio_1, chan_Lora_std: plan.chan_Lora_std,
        chan_FSK: plan.chan_FSK, ...Object.fromEntries(plan.chan_multiSF.map((channel, index) =>
          [`chan_multiSF_${index}`, channel])) };
      for (const [member, settings] of Object.entries(planMembers)) {
        assert.deepEqual(saved[member], { ...saved[member], ...settings }, member);
      }
      await page.getByText('No unsaved changes.').waitFor();
      assert.equal(await page.locator('#region').inputValue(), 'US915', 'the saved file is US915\'s');
    }));

  test('asks before edits are left behind, by menu, Back or reload', testTimeout, () => withService(async () => {
    const page = await openPage('/login');
    await logInToForwarder(page);
    await page.getByLabel('Server Port').fill('1700');
    await openMenu(page, 'Setting');
    const question = page.locator('.ant-modal-confirm').filter({ hasText: 'Leave without saving?' });
    await clickAtRest(question.getByRole('button', { name: 'Stay' }));
    await question.waitFor({ state: 'detached' });
    assert.equal(new URL(page.url()).pathname, '/ui');
    assert.equal(await page.getByLabel('Server Port').inputValue(), '1700');
    await page.evaluate(() => window.history.back());
    await clickAtRest(question.getByRole('button', { name: 'Stay' }));
    await question.waitFor({ state: 'detached' });
    assert.equal(new URL(page.url()).pathname, '/ui', 'Back was held');

    const dialogs = [];
    page.on('dialog', (dialog) => {
      dialogs.push(dialog.type());
      dialog.dismiss();
    });
    // The reload runs after the evaluation has returned, which its question
    // would otherwise hold up. The page evaluates nothing while the question
    // is open, so the marker is read after it was answered.
    await page.evaluate(() => { window.beforeReload = true; });
    const asked = page.waitForEvent('dialog');
    await page.evaluate(() => { setTimeout(() => window.location.reload(), 0); });
    await asked;
    assert.deepEqual(dialogs, ['beforeunload']);
    assert.equal(await page.evaluate(() => window.beforeReload), true, 'the reload was called off');
    assert.equal(await page.getByLabel('Server Port').inputValue(), '1700', 'the edit stays');

    await page.getByLabel('Server Port').fill('1680');
    await openMenu(page, 'Setting');
    await waitForPath(page, '/ui/setting');
    assert.equal(await question.count(), 0, 'no question once the edit is undone');
    await openMenu(page, 'Forwarder');
    await page.getByLabel('Server Port').fill('1');
    await openMenu(page, 'Setting');
    await clickAtRest(question.getByRole('button', { name: 'Leave' }));
    await waitForPath(page, '/ui/setting');
    await page.reload();
    await page.getByLabel('Current Password').waitFor();
    assert.deepEqual(dialogs, ['beforeunload'], 'nothing unsaved after leaving');
  }));

  const focusedOn = (page, check) => page.waitForFunction(check);
  const onSave = () => document.activeElement?.matches('.form-actions button[type=submit]');
  const onConfirm = () => document.activeElement?.textContent === 'Save and restart';

  test('a refused Save puts the cursor in the first field to mend', testTimeout, () => withService(async () => {
    const page = await openPage('/login');
    await logInToForwarder(page);
    await page.locator('#if5').fill('99999999');
    await page.locator('#gatewayId').fill('not-hex!');
    await page.getByRole('button', { name: 'Save' }).click();
    await focusedOn(page, () => document.activeElement?.id === 'gatewayId');
  }));

  test('the confirmation opens on its primary button, Enter confirms, and focus comes back to Save', testTimeout, () =>
    withService(async () => {
      const page = await openPage('/login');
      await logInToForwarder(page);
      const patches = recordPatches(page);
      await page.locator('#serverPort').fill('1700');
      await page.locator('#serverPort').press('Enter');
      await focusedOn(page, onConfirm);
      await page.keyboard.press('Escape');
      await focusedOn(page, onSave);
      assert.deepEqual(patches, [], 'the Enter that asked did not also confirm');
      await page.keyboard.press('Enter');
      await focusedOn(page, onConfirm);
      await page.keyboard.press('Enter');
      await page.locator('[data-outcome="applied"]').waitFor(applyWait);
      await page.getByText('No unsaved changes.').waitFor();
      await focusedOn(page, onSave);
    }));
});

describe('forwarder status, apply and history', () => {
  const unit = 'packet-forwarder';

  function statusLine(page) {
    return page.locator('.unit-status');
  }

  test('shows the forwarder\'s state and checks again on demand', testTimeout, () => withService(async () => {
    service.setUnitState(unit, 'active', 'running', Date.UTC(2026, 11, 8, 20, 11, 18));
    const page = await openPage('/login');
    await logInToForwarder(page);
    await statusLine(page).getByText('Running', { exact: true }).waitFor();
    assert.match(await statusLine(page).textContent(), /packet-forwarder · since /);
    service.setUnitState(unit, 'failed', 'exit-code');
    await page.getByRole('button', { name: 'Check now' }).click();
    await statusLine(page).getByText('Failed', { exact: true }).waitFor();
    assert.equal(await statusLine(page).locator('.ant-badge-status-error').count(), 1);
    assert.deepEqual(service.systemctlCalls(), [], 'reading the state changes nothing');
  }));

  test('an apply that does not hold is rolled back, or says the forwarder is down', testTimeout, () => withService(async () => {
    const original = service.configText();
    const page = await openPage('/login');
    await logInToForwarder(page);
    service.failNextRestarts(unit, 1);
    await page.getByLabel('Server Port').fill('1700');
    await saveAndConfirm(page);
    const outcome = page.locator('[data-outcome="rolledBack"]');
    await outcome.waitFor(applyWait);
    assert.match(await outcome.textContent(),
      /could not be restarted with the new configuration \(Job for packet-forwarder\.service failed .*\); the previous configuration was restored/);
    await pageMessage(page, 'Update failed').waitFor();
    assert.equal(service.configText(), original, 'the file on disk is the old one, byte for byte');
    assert.deepEqual(service.systemctlCalls(), [`restart ${unit}`, `restart ${unit}`]);
    service.failNextRestarts(unit, 2);
    await saveAndConfirm(page);
    const notRunning = page.locator('.apply-outcome.ant-alert-error[data-outcome="notRunning"]');
    await notRunning.waitFor(applyWait);
    assert.match(await notRunning.textContent(), /^Update failed\. The forwarder is not running.*Restore a version that ran/);
    assert.match(await page.locator('.history-table tbody tr').first().textContent(), /rolled back/);
  }));

  test('an apply locks the form, goes on when left, shows its outcome there, and the file is read again', testTimeout, () =>
    withService(async () => {
      const page = await openPage('/login');
      await logInToForwarder(page);
      service.systemctlFile('sleep-restart', '2');
      await page.getByLabel('Server Port').fill('1700');
      await page.getByRole('button', { name: 'Save' }).click();
      const commentsNote = confirmation(page).getByText(/has comments\. Saving writes the file without them; the version/);
      await commentsNote.waitFor();
      await clickAtRest(confirmation(page).getByRole('button', { name: 'Save and restart' }));
      await page.getByText(/^Locked while the change is applied/).waitFor();
      assert.deepEqual([await page.getByLabel('Server Port').isDisabled(), await page.locator('#region').isDisabled()],
        [true, true]);
      await openMenu(page, 'Setting');
      const question = page.locator('.ant-modal-confirm').filter({ hasText: /The change goes on without this page/ });
      await clickAtRest(question.getByRole('button', { name: 'Leave' }));
      await page.locator('[data-outcome="applied"]').waitFor(applyWait);
      assert.equal(await page.locator('.apply-outcome').count(), 1);
      await assertAccessible(page, 'an outcome shown on another page');
      await openMenu(page, 'Forwarder');
      const kept = page.locator('.history-table tbody tr').filter({ hasText: 'first file' });
      await kept.waitFor();
      assert.match(await kept.textContent(), /^1.*gateway_conf\.serv_port_up/);
      assert.equal(await page.getByLabel('Server Port').inputValue(), '1700');
      await page.getByRole('button', { name: 'Save' }).click();
      await confirmation(page).waitFor();
      assert.equal(await commentsNote.count(), 0, 'the saved file has no comments left');
    }));

  test('an apply is watched, then the history restores the first file after confirming', testTimeout, () =>
    withService(async () => {
      const original = service.configText();
      const page = await openPage('/login');
      await logInToForwarder(page);
      await page.getByLabel('Server Port').fill('1700');
      await saveAndConfirm(page);
      await page.getByText('Applying… checking that the forwarder stays up').waitFor();
      assert.equal(await page.locator('.forwarder-form button[type=submit].ant-btn-loading').count(), 1);
      await page.locator('[data-outcome="applied"]').waitFor(applyWait);
      await pageMessage(page, 'Configuration updated').waitFor();
      await statusLine(page).getByText('Running', { exact: true }).waitFor();
      assert.equal(service.config().gateway_conf.serv_port_up, 1700);

      const rows = page.locator('.history-table tbody tr');
      await rows.first().waitFor();
      assert.equal(await rows.count(), 1);
      assert.match(await rows.first().textContent(), /first file.*admin.*gateway_conf/);
      await rows.first().getByRole('button', { name: 'View' }).click();
      const dialog = page.locator('.ant-modal');
      await dialog.locator('.version-text').getByText('gateway_conf', { exact: false }).first().waitFor();
      assert.equal(await dialog.locator('.version-text').textContent(), original);
      await clickAtRest(dialog.getByRole('button', { name: 'Close' }));
      await dialog.waitFor({ state: 'hidden', timeout: 30000 });

      await rows.first().getByRole('button', { name: 'Restore' }).click();
      const confirm = page.locator('.ant-popconfirm');
      await confirm.getByText('Restore version 1?').waitFor();
      await page.locator('.ant-zoom-big-appear, .ant-zoom-big-enter').first().waitFor({ state: 'detached' });
      await assertAccessible(page, 'the restore question');
      assert.deepEqual(service.systemctlCalls(), [`restart ${unit}`], 'nothing restored before confirming');
      await clickAtRest(confirm.getByRole('button', { name: 'Restore' }));
      await pageMessage(page, 'Version 1 restored').waitFor(applyWait);
      assert.equal(service.configText(), original, 'the first file is back with its comments');
      assert.deepEqual(service.systemctlCalls(), [`restart ${unit}`, `restart ${unit}`]);
      await page.waitForFunction(() => document.querySelector('#serverPort')?.value === '1680');
      await rows.nth(1).waitFor();
      assert.match(await rows.first().textContent(), /restored version 1/);
    }));

  // The browser runs as a server, so a download is copied out before reading.
  async function downloadedText(download) {
    const file = path.join(service.dir, `download-${download.suggestedFilename()}`);
    await download.saveAs(file);
    return fs.readFileSync(file, 'utf8');
  }

  test('a file broken by hand: Save refused, the fault named, the way out shown, the bytes downloaded', testTimeout, () =>
    withService(async () => {
      const page = await openPage('/login');
      await logInToForwarder(page);
      await saveAndConfirm(page);
      await page.locator('[data-outcome="applied"]').waitFor(applyWait);
      const broken = '{\n  "gateway_conf": {\n    "serv_port_up": 1680,\n  }\n}\n';
      fs.writeFileSync(service.configPath, broken);
      await saveAndConfirm(page);
      await pageMessage(page, 'Update failed').waitFor();
      await openMenu(page, 'Setting');
      await openMenu(page, 'Forwarder');
      const problem = page.locator('.broken-file');
      await problem.waitFor();
      await assertAccessible(page, 'a forwarder file broken by hand');
      assert.match(await problem.textContent(), /Line 4, column 3: .*the file the gateway came with first: History → Restore on version 1/);
      assert.equal(await page.locator('#serverAddress').count(), 0, 'no form to save from after a failed load');
      const [current] = await Promise.all([page.waitForEvent('download'),
        page.getByRole('button', { name: 'Download current configuration' }).click()]);
      assert.equal(await downloadedText(current), broken);
    }));

  test('downloads the current configuration and a kept version', testTimeout, () => withService(async () => {
    const original = service.configText();
    const page = await openPage('/login');
    await logInToForwarder(page);
    const [current] = await Promise.all([
      page.waitForEvent('download'),
      page.getByRole('button', { name: 'Download current configuration' }).click(),
    ]);
    assert.equal(current.suggestedFilename(), 'global_conf.json');
    assert.equal(await downloadedText(current), original, 'the file as it stands, comments included');

    await saveAndConfirm(page);
    await page.locator('[data-outcome="applied"]').waitFor(applyWait);
    const row = page.locator('.history-table tbody tr').first();
    await row.waitFor();
    const [kept] = await Promise.all([page.waitForEvent('download'), row.getByRole('button', { name: 'Download' }).click()]);
    assert.equal(kept.suggestedFilename(), 'global_conf.version-1.json');
    assert.equal(await downloadedText(kept), original);
  }));
});
