// The console as an attacker and as a careful operator meet it: the factory
// password banner, the token that a password change hands out, the way back
// to the login page when a token has ended, a page of another origin that
// tries to read a login reply, and the operator's browser logging in while
// strangers have used up the account's failures.
import assert from 'node:assert/strict';
import http from 'node:http';
import { after, afterEach, before, describe, test } from 'node:test';
import { closeTestContexts, freePort, launchBrowser, newTestContext, Service, waitUntil } from './harness.mjs';

const testTimeout = { timeout: 90000 };

let browserHandle;

before(async () => {
  browserHandle = await launchBrowser();
});

after(async () => {
  await browserHandle?.close();
});

afterEach(closeTestContexts);

async function openPage(url) {
  const context = await newTestContext(browserHandle.browser, { viewport: { width: 1280, height: 800 } });
  context.setDefaultTimeout(10000);
  const page = await context.newPage();
  page.pageErrors = [];
  page.on('pageerror', (error) => page.pageErrors.push(error.message));
  await page.goto(url);
  return page;
}

async function logIn(page, password = 'qzvtk') {
  await page.getByLabel('Username').fill('admin');
  await page.getByLabel('Password').fill(password);
  await page.getByRole('button', { name: 'Login' }).click();
}

function storedToken(page) {
  return page.evaluate(() => sessionStorage.getItem('auth') || localStorage.getItem('auth'));
}

async function changePassword(page, current, next) {
  await page.getByLabel('Current Password').fill(current);
  await page.getByLabel('New Password', { exact: true }).fill(next);
  await page.getByLabel('New Password Again').fill(next);
  await page.getByRole('button', { name: 'Update' }).click();
}

const banner = (page) => page.getByText(/The factory password is in use/);

describe('factory password', () => {
  test('a banner on every page until the password changes, and the operator stays logged in', testTimeout, () =>
    Service.with([], async (service) => {
      const page = await openPage(`${service.url}/ui/login`);
      await logIn(page);
      await page.locator('.verdict-headline').waitFor();
      await banner(page).waitFor();
      await page.locator('.ant-menu').getByText('Setting', { exact: true }).click();
      await banner(page).waitFor();
      await page.locator('.ant-menu').getByText('Forwarder', { exact: true }).click();
      await page.getByRole('button', { name: 'Change password' }).click();
      await page.waitForFunction(() => document.activeElement?.id === 'currentPassword');

      const before = await storedToken(page);
      await changePassword(page, 'qzvtk', 'n3w-secret');
      await page.locator('.page-outcome').filter({ hasText: 'Password updated succesfully' }).waitFor();
      await banner(page).waitFor({ state: 'detached' });
      const after = await storedToken(page);
      assert.notEqual(after, before, 'the fresh token replaced the old one');
      // The old token is refused; the operator's pages keep working.
      const stale = await page.request.post(`${service.url}/rpc/forwarder-config/get`, { data: { auth: before } });
      assert.equal(stale.status(), 403);
      assert.equal((await stale.json()).error.code, 23010);
      await page.reload();
      await page.getByLabel('Current Password').waitFor();
      assert.equal(await banner(page).count(), 0);
      assert.equal(await page.getByText('Log in again').count(), 0);
      assert.deepEqual(page.pageErrors, []);
    }));
});

describe('ended sessions', () => {
  test('"Expired auth token" offers to log in again', testTimeout, () =>
    Service.with(['--tokenLifetime', '2'], async (service) => {
      const page = await openPage(`${service.url}/ui/login`);
      await logIn(page);
      // The console's menu, not the forwarder's values: on a busy machine the
      // page's first read has come after the two seconds, and its form never showed.
      await page.locator('.ant-menu').getByText('Setting', { exact: true }).waitFor();
      // The service counts a token's lifetime in whole seconds from its issue:
      // it is asked until it calls the page's token expired.
      const token = await storedToken(page);
      await waitUntil(async () => {
        const reply = await page.request.post(`${service.url}/rpc/forwarder-config/get`, { data: { auth: token } });
        return (await reply.json()).error?.code === 27002;
      }, 10000, 'the token to expire', 100);
      await page.locator('.ant-menu').getByText('Setting', { exact: true }).click();
      await changePassword(page, 'qzvtk', 'other-secret');
      await page.locator('.page-outcome').filter({ hasText: 'Expired auth token' }).waitFor();
      await page.getByRole('button', { name: 'Log in again' }).click();
      await page.waitForURL((url) => url.pathname === '/ui/login');
      assert.equal(await storedToken(page), null);
    }));

  test('"Invalid auth token" after a restart offers the same', testTimeout, () =>
    Service.with([], async (service) => {
      const page = await openPage(`${service.url}/ui/login`);
      await logIn(page);
      // The overview's own page, not the verdict nor the menu: the verdict
      // shows before the console's code has come, and the menu before the
      // overview's, and a restart in between would cut that download.
      await page.locator('.overview').waitFor();
      await service.restart();
      await page.locator('.ant-menu').getByText('Setting', { exact: true }).click();
      await page.locator('.ant-menu').getByText('Forwarder', { exact: true }).click();
      await page.getByText('Failed to fetch configuration').waitFor();
      await page.getByText('Invalid auth token: this session has ended.').waitFor();
      await page.getByRole('button', { name: 'Log in again' }).click();
      await page.waitForURL((url) => url.pathname === '/ui/login');
      await logIn(page);
      await page.locator('#serverAddress').waitFor();
      assert.equal(new URL(page.url()).pathname, '/ui', 'back on the page the session ended on');
    }));

  test('"Log in again" leaves the token another tab renewed, and takes it up', testTimeout, () =>
    Service.with([], async (service) => {
      const page = await openPage(`${service.url}/ui/login`);
      await page.getByLabel('Keep me logged in').check();
      await logIn(page);
      await page.locator('.ant-menu').getByText('Setting', { exact: true }).waitFor();
      const other = await page.context().newPage();
      await other.goto(`${service.url}/ui/setting`);
      await other.getByLabel('Current Password').waitFor();
      await service.restart();
      await other.locator('.ant-menu').getByText('Forwarder', { exact: true }).click();
      await other.getByRole('button', { name: 'Log in again' }).click();
      await other.getByLabel('Keep me logged in').check();
      await logIn(other);
      await other.locator('.ant-menu').getByText('Setting', { exact: true }).waitFor();
      await page.locator('.ant-menu').getByText('Forwarder', { exact: true }).click();
      await page.getByRole('button', { name: 'Log in again' }).click();
      await page.locator('#serverAddress').waitFor();
      assert.deepEqual([await storedToken(page), new URL(page.url()).pathname], [await storedToken(other), '/ui']);
    }));
});

// A page of another origin may make the browser send a login, but may not
// read what comes back: procedure replies carry no Access-Control-Allow-Origin.
describe('other origins', () => {
  test('a page served from another origin cannot read a login reply', testTimeout, () =>
    Service.with([], async (service) => {
      const port = await freePort();
      const server = http.createServer((request, response) => {
        response.writeHead(200, { 'Content-Type': 'text/html' });
        response.end('<!doctype html><title>elsewhere</title>');
      });
      await new Promise((resolve) => server.listen(port, '127.0.0.1', resolve));
      try {
        const page = await openPage(`http://127.0.0.1:${port}/`);
        const attempts = await page.evaluate(async (target) => {
          const body = JSON.stringify({ username: 'admin', password: 'qzvtk' });
          const results = {};
          for (const [name, init] of Object.entries({
            json: { method: 'POST', headers: { 'Content-Type': 'application/json' }, body },
            plain: { method: 'POST', headers: { 'Content-Type': 'text/plain' }, body },
            noCors: { method: 'POST', mode: 'no-cors', headers: { 'Content-Type': 'text/plain' }, body },
          })) {
            try {
              const response = await fetch(target, init);
              results[name] = { type: response.type, text: await response.text() };
            } catch (error) {
              results[name] = { failed: error.name };
            }
          }
          return results;
        }, `${service.url}/rpc/v1/login/password`);
        assert.deepEqual(attempts.json, { failed: 'TypeError' });
        assert.deepEqual(attempts.plain, { failed: 'TypeError' });
        assert.deepEqual(attempts.noCors, { type: 'opaque', text: '' });
        // The logins did reach the service: only reading the reply was kept from the page.
        const direct = await page.request.post(`${service.url}/rpc/v1/login/password`,
          { data: { username: 'admin', password: 'qzvtk' } });
        assert.equal(direct.status(), 200);
        assert.equal(direct.headers()['access-control-allow-origin'], undefined);
      } finally {
        server.close();
      }
    }));
});

// A wrong password from `sourceAddress` (of 127.0.0.0/8), outside any browser:
// the strangers who use up the account's failures. Answers the status.
function failedLoginFrom(service, sourceAddress) {
  const body = JSON.stringify({ username: 'admin', password: 'guess' });
  return new Promise((resolve, reject) => {
    const request = http.request(`${service.url}/rpc/v1/login/password`, {
      method: 'POST',
      localAddress: sourceAddress,
      headers: { 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(body) },
    }, (response) => {
      response.resume();
      response.on('end', () => resolve(response.statusCode));
    });
    request.on('error', reject);
    request.end(body);
  });
}

const deviceTokenOf = (page) => page.evaluate(() => localStorage.getItem('deviceToken'));

describe('known devices', () => {
  test('a browser that logged in before gets in during an attack; a fresh one is told how long to wait', testTimeout, () =>
    Service.with([], async (service) => {
      const operator = await openPage(`${service.url}/ui/login`);
      await logIn(operator);
      await operator.locator('.ant-menu').getByText('Logout', { exact: true }).click();
      await operator.waitForURL((url) => url.pathname === '/ui/login');
      const deviceToken = await deviceTokenOf(operator);
      assert.match(deviceToken, /^[A-Za-z0-9+/]{43}=$/, 'the logout kept the device token');

      const statuses = [];
      for (let i = 0; i < 40; ++i) statuses.push(await failedLoginFrom(service, `127.0.0.${10 + i}`));
      assert.deepEqual(statuses.slice(-10), Array(10).fill(429), `the account is capped: ${statuses}`);

      await logIn(operator);
      await operator.locator('.ant-menu').getByText('Setting', { exact: true }).waitFor();
      const renewed = await deviceTokenOf(operator);
      assert.ok(renewed && renewed !== deviceToken, 'the login handed out the next device token');

      const stranger = await openPage(`${service.url}/ui/login`);
      await logIn(stranger);
      // The wait counts down, and Login stays off until it has run out.
      const wait = stranger.getByRole('alert').getByText(/^Too many failed logins: try again in \d+ s\.$/);
      await wait.waitFor();
      const first = Number((await wait.textContent()).match(/(\d+) s/)[1]);
      assert.equal(await stranger.getByRole('button', { name: 'Login' }).isDisabled(), true);
      // A busy machine may delay a tick past the next second; any lower figure counts.
      await waitUntil(async () => Number((await wait.textContent()).match(/(\d+) s/)[1]) < first, 10000, 'the wait to count down');
      assert.equal(await storedToken(stranger), null);
      assert.equal(await deviceTokenOf(stranger), null);
      assert.deepEqual([...operator.pageErrors, ...stranger.pageErrors], []);
    }));
});
