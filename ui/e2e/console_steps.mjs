// What the console's browser tests share: the browser, a fresh service per
// test, and the steps every page test takes (log in, open a page or a menu,
// save and confirm).
import assert from 'node:assert/strict';
import { after, afterEach, before } from 'node:test';
import { closeTestContexts, launchBrowser, newTestContext, seriousAxeViolations, Service } from './harness.mjs';

export const testTimeout = { timeout: 90000 };
// An apply takes the service's settle window (1 s here) plus the restarts; on
// a machine busy with other tests it has been seen to pass 20 s.
export const applyWait = { timeout: 45000 };
export const desktop = { width: 1280, height: 800 };
export const phone = { width: 375, height: 740 };
export const devModeKeys = ['ArrowUp', 'ArrowUp', 'ArrowDown', 'ArrowDown', 'ArrowLeft', 'ArrowRight',
  'ArrowLeft', 'ArrowRight', 'l', 'o', 'r', 'a'];

let browserHandle;
// The running test's service, as a live binding for the test files.
export let service;

// One browser for a test file's tests, each in contexts of its own.
export function shareOneBrowser() {
  before(async () => {
    browserHandle = await launchBrowser();
  });
  after(async () => {
    await browserHandle?.close();
  });
  afterEach(closeTestContexts);
}

// A fresh service for each test keeps them independent of each other's
// password changes and file edits.
export function withService(body) {
  return Service.with([], (started) => {
    service = started;
    return body(started);
  });
}

export async function openPage(route, { viewport = desktop, storageState } = {}) {
  const context = await newTestContext(browserHandle.browser, { viewport, storageState });
  context.setDefaultTimeout(10000);
  const page = await context.newPage();
  page.pageErrors = [];
  page.on('pageerror', (error) => page.pageErrors.push(error.message));
  await page.goto(`${service.url}/ui${route}`);
  return page;
}

export async function logIn(page, { password = 'qzvtk', keep = false } = {}) {
  await page.getByLabel('Username').fill('admin');
  await page.getByLabel('Password').fill(password);
  if (keep) await page.getByLabel('Keep me logged in').check();
  await page.getByRole('button', { name: 'Login' }).click();
}

export const verdictHeadline = (page) => page.locator('.verdict-headline');

// A login lands on the overview; the forwarder's tests go on from there.
export async function logInToForwarder(page, options) {
  await logIn(page, options);
  await waitForPath(page, '/ui/overview');
  await openMenu(page, 'Forwarder');
  await page.locator('#serverAddress').waitFor();
}

// An action's one message, in the page (the session banners are others).
export function pageMessage(page, text) {
  return page.locator('.page-outcome, .apply-outcome').filter({ hasText: text });
}

export async function waitForPath(page, pathname) {
  await page.waitForURL((url) => url.pathname === pathname);
}

export async function storedTokens(page) {
  return page.evaluate(() => ({ local: localStorage.getItem('auth'), session: sessionStorage.getItem('auth') }));
}

export const confirmation = (page) => page.locator('.change-confirmation');

// A dialog zooms in from where the pointer was, and on a busy machine a click
// aimed at one of its buttons while it still moved has landed elsewhere: the
// dialog stayed open and nothing was sent. Its buttons are clicked once no
// dialog is still coming in.
export async function clickAtRest(button) {
  await button.page().locator('.ant-zoom-appear, .ant-zoom-enter').first().waitFor({ state: 'detached' });
  await button.click();
}

export async function saveAndConfirm(page) {
  await page.getByRole('button', { name: 'Save' }).click();
  await clickAtRest(confirmation(page).getByRole('button', { name: 'Save and restart' }));
}

// The forwarder-config/patch calls the page makes from now on.
export function recordPatches(page) {
  const patches = [];
  page.on('request', (request) => {
    if (request.url().endsWith('/forwarder-config/patch')) patches.push(request.postDataJSON());
  });
  return patches;
}

export async function assertAccessible(page, what) {
  assert.deepEqual(await seriousAxeViolations(page), [], what);
}

export async function openMenu(page, label) {
  const toggle = page.getByRole('button', { name: 'Open menu' });
  if (await toggle.isVisible()) await toggle.click();
  await page.locator('.ant-menu').getByText(label, { exact: true }).click();
}
