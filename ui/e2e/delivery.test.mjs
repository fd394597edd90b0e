// How the page travels: compressed copies on a cold visit, nothing but
// revalidations on a warm reload, and a login page that works before the
// console's script has come. The throttled load times are figures, not
// tests: bench/ui_throttled.mjs measures them.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { launchBrowser, recordedPage, Service, settings } from './harness.mjs';

const testTimeout = { timeout: 120000 };

let browserHandle;
let service;

before(async () => {
  browserHandle = await launchBrowser();
  service = await Service.start();
});

after(async () => {
  await service?.dispose();
  await browserHandle?.close();
});

test('a cold visit gets the compressed copies; a warm reload transfers no file body', testTimeout, async () => {
  const context = await browserHandle.browser.newContext();
  const page = await recordedPage(context);
  await page.goto(`${service.url}/ui/login`);
  await page.getByLabel('Username').waitFor();
  // The console's script is fetched after the login page is up; a reload
  // before it has come would fetch it again, rightly.
  await page.waitForLoadState('networkidle');
  const cold = page.uiReplies();
  const script = cold.find((reply) => /\/ui\/assets\/.*\.js$/.test(reply.url));
  assert.ok(script, 'the script was loaded');
  // Chromium asks for Brotli from a secure origin, and only gzip from another name in clear.
  assert.match(script.headers['content-encoding'] ?? '', settings.https ? /^br$/ : /^(br|gzip)$/);
  assert.match(script.headers['cache-control'], /immutable/);
  assert.ok(script.wireBytes < 300000, `script sent as ${script.wireBytes} bytes`);
  const index = cold.find((reply) => reply.mimeType === 'text/html');
  assert.equal(index.headers['cache-control'], 'no-cache');

  // Chromium asks for the icon on its own schedule, at times only after the
  // page went idle or not before the reload: what it first asks for then
  // rightly comes whole.
  const before = new Set(page.uiReplies().map((reply) => reply.url));
  page.replies.clear();
  await page.reload();
  await page.getByLabel('Username').waitFor();
  const warm = page.uiReplies();
  assert.ok(warm.some((reply) => reply.mimeType === 'text/html'));
  assert.ok(warm.some((reply) => /\/ui\/assets\/.*\.js$/.test(reply.url)));
  for (const reply of warm.filter((again) => before.has(again.url))) {
    assert.ok(reply.servedFromCache || reply.wireStatus === 304, `${reply.url} came again: ${reply.wireStatus}`);
    assert.equal(reply.bodyWireBytes, 0, `${reply.url} brought a body`);
  }
  await context.close();
});

// An address typed by hand in clear lands on the same page over HTTPS.
test('a page asked for in clear is reached over HTTPS', { ...testTimeout, skip: !settings.https }, async () => {
  const context = await browserHandle.browser.newContext();
  const page = await context.newPage();
  const secure = new URL(service.url);
  await page.goto(`http://${secure.host}/ui/login?from=clear`);
  await page.getByLabel('Username').waitFor();
  assert.equal(page.url(), `${service.url}/ui/login?from=clear`);
  await context.close();
});

// The login page is built to need the first script only: with every other
// script held back, as on a slow link while the console's chunk is still on
// its way, it checks its fields and shows a refused login.
test('the login page works before the console\'s script has arrived', testTimeout, async () => {
  const html = await (await fetch(`${service.url}/ui/login`)).text();
  const entry = html.match(/<script type="module"[^>]* src="([^"]+)"/)[1];
  const context = await browserHandle.browser.newContext();
  const held = [];
  await context.route(/\/ui\/assets\/[^/]+\.js$/, (route) => {
    if (new URL(route.request().url()).pathname === entry) return route.continue();
    held.push(route.request().url());
    return undefined;
  });
  // Its styles come inside that script: a stylesheet of their own would be
  // fetched only after it, over the same connection, a round trip later.
  assert.doesNotMatch(html, /rel="stylesheet"/);
  const page = await context.newPage();
  await page.goto(`${service.url}/ui/login`);
  const dialog = page.locator('.login-dialog');
  assert.equal(await dialog.evaluate((element) => getComputedStyle(element).maxWidth), '380px');
  await page.getByRole('button', { name: 'Login' }).click();
  await page.getByText('Username is required').waitFor();
  await page.getByText('Password is required').waitFor();
  await page.getByLabel('Username').fill('admin');
  await page.getByLabel('Password').fill('wrong');
  await page.getByRole('button', { name: 'Login' }).click();
  await page.getByRole('alert').getByText('Invalid password', { exact: true }).waitFor();
  assert.ok(held.length > 0, 'the console\'s script was asked for and held back');
  await context.close();
});
