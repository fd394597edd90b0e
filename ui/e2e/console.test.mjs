// The web console in Debian's Chromium against the real service binary: login,
// settings, dev mode, navigation and the screenshots of every page.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { describe, test } from 'node:test';
import { settings, waitForStillness } from './harness.mjs';
import { shareOneBrowser, assertAccessible, clickAtRest, confirmation, desktop, devModeKeys, logIn, logInToForwarder,
  openMenu, openPage, pageMessage, phone, saveAndConfirm, service, storedTokens, testTimeout, verdictHeadline,
  waitForPath, withService } from './console_steps.mjs';

shareOneBrowser();

describe('login', () => {
  test('keeps the token in session storage unless asked to keep it', testTimeout, () => withService(async () => {
    const page = await openPage('/login');
    await assert.doesNotReject(page.getByRole('heading', { name: 'Tallowmere LoRa Gateway' }).waitFor());
    assert.equal(await page.getByText('v1.1.1', { exact: true }).count(), 1);
    assert.equal(await page.title(), 'LoRa Gateway');
    await logIn(page);
    await waitForPath(page, '/ui/overview');
    await verdictHeadline(page).waitFor();
    const tokens = await storedTokens(page);
    assert.equal(tokens.local, null);
    assert.match(tokens.session, /^[A-Za-z0-9+/]+=*$/);
    // A new browser session starts from what local storage kept: nothing.
    const reopened = await openPage('', { storageState: await page.context().storageState() });
    await waitForPath(reopened, '/ui/login');
    assert.deepEqual(page.pageErrors, []);
  }));

  test('keeps the token in local storage when asked, and moves it back', testTimeout, () => withService(async () => {
    const page = await openPage('/login');
    await logIn(page, { keep: true });
    await verdictHeadline(page).waitFor();
    const kept = await storedTokens(page);
    assert.equal(kept.session, null);
    assert.ok(kept.local);
    const reopened = await openPage('/login', { storageState: await page.context().storageState() });
    await waitForPath(reopened, '/ui/overview');
    await verdictHeadline(reopened).waitFor();
    // Logging in again without the box must not leave the old copy behind.
    await reopened.evaluate(() => sessionStorage.clear());
    await openMenu(reopened, 'Logout');
    await logIn(reopened);
    await verdictHeadline(reopened).waitFor();
    const moved = await storedTokens(reopened);
    assert.equal(moved.local, null);
    assert.ok(moved.session);
  }));

  test('shows the service\'s refusal and stays on the page', testTimeout, () => withService(async () => {
    const page = await openPage('/login');
    await page.getByRole('button', { name: 'Login' }).click();
    await page.getByText('Username is required').waitFor();
    await page.getByText('Password is required').waitFor();
    await logIn(page, { password: 'wrong' });
    await page.getByRole('alert').getByText('Invalid password', { exact: true }).waitFor();
    await assertAccessible(page, 'login page with its errors');
    assert.equal(new URL(page.url()).pathname, '/ui/login');
    await service.stop();
    await logIn(page);
    await page.getByRole('alert').getByText('Network issue', { exact: true }).waitFor();
    assert.deepEqual(await storedTokens(page), { local: null, session: null });
  }));

});

describe('setting page', () => {
  async function fillPasswords(page, current, next, again) {
    await page.getByLabel('Current Password').fill(current);
    await page.getByLabel('New Password', { exact: true }).fill(next);
    await page.getByLabel('New Password Again').fill(again);
    await page.getByRole('button', { name: 'Update' }).click();
  }

  test('checks the length and the repeated password, marks a wrong current one, then changes it', testTimeout, () =>
    withService(async () => {
      const page = await openPage('/login');
      await logIn(page);
      await openMenu(page, 'Setting');
      await waitForPath(page, '/ui/setting');
      const updates = [];
      page.on('request', (request) => {
        if (request.url().endsWith('/rpc/password/update')) updates.push(request.postDataJSON());
      });
      await fillPasswords(page, 'qzvtk', 'n3w-sec', 'n3w-sec');
      await page.locator('#newPassword_help').getByText('At least 8 characters', { exact: true }).waitFor();
      await fillPasswords(page, 'qzvtk', 'n3w-secret', 'n3w-secreT');
      await page.getByText('New Passwords do not match').waitFor();
      assert.equal(updates.length, 0);
      await fillPasswords(page, 'wrong', 'n3w-secret', 'n3w-secret');
      await pageMessage(page, 'Password mismatch').waitFor();
      await page.locator('#currentPassword_help').getByText('This is not the current password').waitFor();
      await assertAccessible(page, 'setting page with its errors');
      await fillPasswords(page, 'qzvtk', 'n3w-secre', 'n3w-secre');
      await pageMessage(page, 'Password updated succesfully').waitFor();
      assert.deepEqual(updates.at(-1).input, { currentPassword: 'qzvtk', newPassword: 'n3w-secre' });
      await openMenu(page, 'Logout');
      await logIn(page);
      await page.getByRole('alert').getByText('Invalid password', { exact: true }).waitFor();
      await logIn(page, { password: 'n3w-secre' });
      await verdictHeadline(page).waitFor();
    }));

  test('each outcome is one message in the page, replaced by the next, and nothing covers the banner', testTimeout,
    () => withService(async () => {
      const page = await openPage('/login');
      await logIn(page);
      await openMenu(page, 'Setting');
      await fillPasswords(page, 'wrong', 'n3w-secret', 'n3w-secret');
      await page.locator('main .page-outcome').filter({ hasText: 'Password mismatch' }).waitFor();
      assert.equal(await page.locator('.ant-message-notice').count(), 0, 'no toast besides, over the banner');
      await fillPasswords(page, 'qzvtk', 'n3w-secret', 'n3w-secret');
      await pageMessage(page, 'Password updated succesfully').waitFor();
      assert.equal(await page.locator('.page-outcome').count(), 1, 'the earlier message is gone');
    }));

  test('shows "Invalid auth token" after the service restarted', testTimeout, () => withService(async () => {
    const page = await openPage('/login');
    await logInToForwarder(page);
    await service.restart();
    await openMenu(page, 'Setting');
    await fillPasswords(page, 'qzvtk', 'other-secret', 'other-secret');
    await pageMessage(page, 'Invalid auth token').waitFor();
    assert.equal(new URL(page.url()).pathname, '/ui/setting', 'the console does not log out by itself');
  }));

  test('a part of the console that does not arrive is named, and a reload brings the page back', testTimeout,
    () => withService(async () => {
      const page = await openPage('/login');
      const overviewCode = /\/overview_page-[^/]+\.js$/;
      await page.route(overviewCode, (route) => route.abort('connectionreset'));
      await logIn(page);
      await page.getByRole('heading', { name: 'The console could not be shown' }).waitFor();
      await assertAccessible(page, 'the failure page');
      await page.unroute(overviewCode);
      await page.getByRole('button', { name: 'Reload' }).click();
      await page.locator('.overview .system-facts').waitFor();
      assert.equal(new URL(page.url()).pathname, '/ui/overview', 'still on the page that failed');
    }));
});

describe('dev mode', () => {
  test('appears after the key sequence, switches SSH, says if it is enabled', testTimeout, () => withService(async () => {
    const page = await openPage('/login');
    await logInToForwarder(page);
    const menu = page.locator('.ant-menu');
    await page.locator('#serverAddress').click();
    for (const key of devModeKeys) await page.keyboard.press(key);
    assert.equal(await page.locator('#serverAddress').inputValue(), 'localhostlora', 'a field takes the keys as text');
    assert.equal(await menu.getByText('Dev Mode').count(), 0, 'the sequence typed into a field reveals nothing');
    await page.locator('#serverAddress').fill('localhost');
    await page.locator('h1').click();
    for (const key of [...devModeKeys.slice(0, 6), 'x', ...devModeKeys.slice(6)]) await page.keyboard.press(key);
    assert.equal(await menu.getByText('Dev Mode').count(), 0, 'a wrong key restarts the sequence');
    for (const key of devModeKeys) await page.keyboard.press(key);
    await openMenu(page, 'Dev Mode');
    await waitForPath(page, '/ui/dev-mode');
    const sshState = page.locator('.unit-status');
    await sshState.getByText('Stopped', { exact: true }).waitFor();
    await sshState.getByText(/enabled: starts at boot/).waitFor();
    service.systemctlFile('stderr-start', 'Failed to start ssh.service: Unit ssh.service is masked.\n');
    service.systemctlFile('exit-start', '1');
    await page.getByRole('button', { name: 'Start and Enable SSH' }).click();
    await pageMessage(page, 'Failed to start ssh.service: Unit ssh.service is masked.').waitFor();
    service.systemctlFile('exit-start', null);
    await page.getByRole('button', { name: 'Start and Enable SSH' }).click();
    await pageMessage(page, 'SSH has started').waitFor();
    await sshState.getByText('Running', { exact: true }).waitFor();
    assert.deepEqual(service.systemctlCalls(), ['start ssh', 'start ssh', 'enable ssh']);
    await page.getByRole('button', { name: 'Stop and Disable SSH' }).click();
    const question = page.locator('.ant-modal-confirm');
    await question.getByText('Remote shell access to the gateway ends now', { exact: false }).waitFor();
    await assertAccessible(page, 'the SSH stop question');
    await clickAtRest(question.getByRole('button', { name: 'Cancel' }));
    await question.waitFor({ state: 'detached' });
    assert.deepEqual(service.systemctlCalls(), ['start ssh', 'start ssh', 'enable ssh'], 'nothing stopped before confirming');
    await page.getByRole('button', { name: 'Stop and Disable SSH' }).click();
    await clickAtRest(question.getByRole('button', { name: 'Stop SSH' }));
    // Until it has faded out, the closing question's text is too faint for axe.
    await question.waitFor({ state: 'detached' });
    await pageMessage(page, 'SSH has stopped').waitFor();
    await sshState.getByText(/disabled: stays off after a reboot/).waitFor();
    await sshState.getByText('Stopped', { exact: true }).waitFor();
    assert.deepEqual(service.systemctlCalls(), ['start ssh', 'start ssh', 'enable ssh', 'stop ssh', 'disable ssh']);
    await assertAccessible(page, 'dev mode page');
    await page.reload();
    await sshState.getByText('Stopped', { exact: true }).waitFor();
    assert.equal(new URL(page.url()).pathname, '/ui/dev-mode', 'a reload stays on the page');
    await openMenu(page, 'Logout');
    await logInToForwarder(page);
    assert.equal(await menu.getByText('Dev Mode').count(), 0, 'the reveal ends at logout');
    await page.goto(`${service.url}/ui/dev-mode`);
    await page.getByText('Page Not Found').waitFor();
  }));
  test('five quick taps on the version reveal it on a phone', testTimeout, () => withService(async () => {
    const page = await openPage('/login', { viewport: phone });
    await logIn(page);
    await page.getByRole('button', { name: 'Open menu' }).click();
    for (let tap = 0; tap < 5; tap += 1) await page.locator('.console-version').click();
    await page.locator('.ant-menu').getByText('Dev Mode', { exact: true }).click();
    await waitForPath(page, '/ui/dev-mode');
  }));
});

describe('navigation', () => {
  test('logout forgets the token; a page opened then returns after the login', testTimeout, () => withService(async () => {
    const page = await openPage('/login');
    await logInToForwarder(page, { keep: true });
    await openMenu(page, 'Logout');
    await waitForPath(page, '/ui/login');
    assert.deepEqual(await storedTokens(page), { local: null, session: null });
    await page.goto(`${service.url}/ui/setting`);
    await waitForPath(page, '/ui/login');
    await logIn(page);
    await waitForPath(page, '/ui/setting');
  }));

  test('each page has its address: a reload stays there and Back goes back', testTimeout, () => withService(async () => {
    const page = await openPage('/login');
    await logIn(page);
    await waitForPath(page, '/ui/overview');
    await page.reload();
    await verdictHeadline(page).waitFor();
    assert.equal(new URL(page.url()).pathname, '/ui/overview');
    await openMenu(page, 'Forwarder');
    await page.reload();
    await page.locator('#serverAddress').waitFor();
    assert.equal(new URL(page.url()).pathname, '/ui');
    await openMenu(page, 'Setting');
    await waitForPath(page, '/ui/setting');
    await page.reload();
    await page.getByLabel('Current Password').waitFor();
    assert.equal(new URL(page.url()).pathname, '/ui/setting');
    await page.goBack();
    await page.locator('#serverAddress').waitFor();
    assert.equal(new URL(page.url()).pathname, '/ui');
    await page.goForward();
    await page.getByLabel('Current Password').waitFor();
  }));

  test('each console page\'s title names it and the gateway\'s host', testTimeout, () => withService(async () => {
    const page = await openPage('/login');
    const titled = (title) => page.waitForFunction((wanted) => document.title === wanted, title);
    await logIn(page);
    await titled(`Overview · ${os.hostname()} · LoRa Gateway`);
    await openMenu(page, 'Forwarder');
    await titled(`Forwarder · ${os.hostname()} · LoRa Gateway`);
    await openMenu(page, 'Logout');
    await titled('LoRa Gateway');
  }));

  test('an unknown route shows the not-found page and goes home after a second', testTimeout, () =>
    withService(async () => {
      const page = await openPage('/login');
      await logInToForwarder(page);
      const started = Date.now();
      await page.goto(`${service.url}/ui/anything`);
      await page.getByText('Page Not Found').waitFor();
      await page.getByText('You are redirecting to homepage...').waitFor();
      await waitForPath(page, '/ui');
      const elapsed = Date.now() - started;
      assert.ok(elapsed >= 1000 && elapsed < 5000, `returned after ${elapsed} ms`);
      await page.locator('#serverAddress').waitFor();
    }));

  test('serves every file the page refers to with its own type', testTimeout, () => withService(async () => {
    const page = await openPage('/login');
    const types = new Map();
    page.on('response', (response) => types.set(new URL(response.url()).pathname, response.headers()['content-type']));
    await page.reload();
    await page.getByRole('button', { name: 'Login' }).waitFor();
    // The page points its icon at the logo inside the script once it runs;
    // the served HTML names the file, which must be there for the first paint.
    const html = await (await page.request.get(`${service.url}/ui/login`)).text();
    const icon = html.match(/<link rel="icon"[^>]* href="([^"]+)"/)[1];
    const iconReply = await page.request.get(`${service.url}${icon}`);
    assert.equal(iconReply.headers()['content-type'], 'image/svg+xml');
    const assets = [...types].filter(([pathname]) => pathname.startsWith('/ui/assets/'));
    assert.ok(assets.length >= 2);
    for (const [pathname, type] of assets) assert.match(type, /^(application\/javascript|text\/css|image\/)/, pathname);
    assert.deepEqual(page.pageErrors, []);
  }));
});

describe('screenshots', () => {
  // The open phone menu covers the viewport only, so it is shot as the eye sees it.
  async function shoot(page, name, viewport, fullPage = true) {
    const file = path.join(settings.screenshots, `${name}-${viewport.width}.png`);
    await waitForStillness(page);
    await page.screenshot({ path: file, fullPage });
  }

  // Every page and dialog is also checked with axe at both widths.
  async function shootChecked(page, name, viewport, fullPage = true) {
    await shoot(page, name, viewport, fullPage);
    await assertAccessible(page, `${name} at ${viewport.width} px`);
    assert.deepEqual([await page.locator('h1').count(), await page.locator('main').count()], [1, 1],
      `${name}: one h1 and one main landmark`);
  }

  async function assertNoOverflow(page, what) {
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
    assert.equal(overflow, 0, `${what}: nothing wider than the window`);
  }

  for (const viewport of [desktop, phone]) {
    test(`every page and dialog at ${viewport.width} px`, testTimeout, () => withService(async () => {
      fs.mkdirSync(settings.screenshots, { recursive: true });
      const page = await openPage('/login', { viewport });
      const logoRequests = [];
      page.on('request', (request) => {
        if (request.url().includes('logo')) logoRequests.push(`${request.resourceType()} at ${page.url()}`);
      });
      await page.getByRole('button', { name: 'Login' }).waitFor();
      await shootChecked(page, 'login', viewport);
      const now = Math.floor(Date.now() / 1000);
      service.journal('INFO: [main] concentrator started, packet can now be received', now - 300);
      service.reports(now, [3, 5, 4, 6, 2, 7, 5, 4, 6, 3]);
      service.journal('WARNING: [gps] GPS out of sync, keeping previous time reference', now, 4);
      await logIn(page);
      await page.locator('.traffic-chart[data-points="10"]').waitFor({ timeout: 20000 });
      await page.locator('.log-lines').waitFor();
      assert.equal(await page.locator('.console-sider:not(.ant-layout-sider-collapsed)').count(),
        viewport.width < 992 ? 0 : 1, 'the side menu opens only on wide screens');
      await shootChecked(page, 'overview', viewport);
      await assertNoOverflow(page, 'overview page');
      await openMenu(page, 'Forwarder');
      await page.locator('#serverAddress').waitFor();
      await shootChecked(page, 'forwarder', viewport);
      await assertNoOverflow(page, 'forwarder page');
      if (viewport === desktop) {
        const save = await page.getByRole('button', { name: 'Save' }).boundingBox();
        assert.ok(save.y + save.height <= viewport.height, `Save is in sight without scrolling (at ${save.y})`);
      }
      await page.locator('#serverPort').fill('0');
      await page.locator('#freq1').fill('867.5');
      await page.locator('#if5').fill('600000');
      await page.getByRole('button', { name: 'Save' }).click();
      await page.locator('#freq1_help').waitFor();
      await page.locator('#if5_help .ant-form-item-explain-warning').waitFor();
      await shootChecked(page, 'forwarder-invalid', viewport);
      await page.locator('#if5').fill('0');
      await page.locator('#serverPort').fill('1700');
      await page.locator('#freq1').fill('868300000');
      await page.getByRole('button', { name: 'Save' }).click();
      await confirmation(page).locator('.change-table').waitFor();
      await shootChecked(page, 'forwarder-confirm', viewport, false);
      await clickAtRest(confirmation(page).getByRole('button', { name: 'Cancel' }));
      await confirmation(page).waitFor({ state: 'hidden' });
      await openMenu(page, 'Setting');
      await page.locator('.ant-modal-confirm-title').getByText('Leave without saving?').waitFor();
      await shootChecked(page, 'leave-question', viewport, false);
      await clickAtRest(page.locator('.ant-modal-confirm').getByRole('button', { name: 'Stay' }));
      await page.locator('.ant-modal-confirm').waitFor({ state: 'detached' });
      service.failNextRestarts('packet-forwarder', 1);
      await saveAndConfirm(page);
      await page.locator('[data-outcome="rolledBack"]').waitFor();
      const row = page.locator('.history-table tbody tr').first();
      await row.waitFor();
      await shootChecked(page, 'forwarder-rolled-back', viewport);
      const brokenWords = await row.evaluate((element) => {
        const walker = document.createTreeWalker(element, NodeFilter.SHOW_TEXT);
        const range = document.createRange();
        const broken = [];
        while (walker.nextNode()) {
          for (const word of walker.currentNode.data.matchAll(/\S+/g)) {
            range.setStart(walker.currentNode, word.index);
            range.setEnd(walker.currentNode, word.index + word[0].length);
            if (new Set([...range.getClientRects()].map((rect) => rect.top)).size > 1) broken.push(word[0]);
          }
        }
        return broken;
      });
      assert.deepEqual(brokenWords, [], 'no word of a kept version\'s row broken across lines');
      // A keyboard user reaches the message's close button and sees it.
      await page.locator('.apply-outcome .ant-alert-close-icon').focus();
      await page.keyboard.press('Shift+Tab');
      await page.keyboard.press('Tab');
      assert.equal(await page.evaluate(() => document.activeElement.matches('.ant-alert-close-icon')
        && getComputedStyle(document.activeElement).outlineStyle), 'solid', 'the close button shows its focus');
      await row.getByRole('button', { name: 'View' }).click();
      await page.locator('.version-text').getByText('gateway_conf', { exact: false }).first().waitFor();
      await shootChecked(page, 'version-viewer', viewport, false);
      await clickAtRest(page.locator('.ant-modal').getByRole('button', { name: 'Close' }));
      await page.locator('.version-text').waitFor({ state: 'hidden' });
      const menuButton = page.getByRole('button', { name: 'Open menu' });
      assert.equal(await menuButton.isVisible(), viewport.width < 992, 'the menu folds away on narrow screens only');
      if (await menuButton.isVisible()) {
        await menuButton.click();
        await shoot(page, 'menu', viewport, false);
        await page.locator('.console-backdrop').click({ position: { x: viewport.width - 10, y: 300 } });
      }
      await page.locator('#serverPort').fill('1680');
      await page.locator('#freq1').fill('868500000');
      await openMenu(page, 'Setting');
      await page.getByLabel('Current Password').waitFor();
      await shootChecked(page, 'setting', viewport);
      await assertNoOverflow(page, 'setting page');
      await page.locator('body').click({ position: { x: viewport.width - 5, y: 5 } });
      for (const key of devModeKeys) await page.keyboard.press(key);
      await openMenu(page, 'Dev Mode');
      await page.getByRole('button', { name: 'Start and Enable SSH' }).waitFor();
      await shootChecked(page, 'dev-mode', viewport);
      await page.getByRole('button', { name: 'Stop and Disable SSH' }).click();
      await page.locator('.ant-modal-confirm-title').getByText('Stop and disable SSH?').waitFor();
      await shootChecked(page, 'ssh-stop-question', viewport, false);
      await clickAtRest(page.locator('.ant-modal-confirm').getByRole('button', { name: 'Cancel' }));
      // Once at most: the page's icon link asks for it only when the browser
      // reads that link before the script has pointed it at the inlined logo.
      assert.ok(logoRequests.length <= 1, `the logo is fetched at most once: ${logoRequests.join(', ')}`);
      await page.goto(`${service.url}/ui/anything`);
      await page.getByText('Page Not Found').waitFor();
      await shootChecked(page, 'not-found', viewport);
    }));
  }
});
