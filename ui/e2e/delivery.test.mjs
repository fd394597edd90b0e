// How the page travels: compressed copies on a cold visit, nothing but
// revalidations on a warm reload, and the throttled load times as figures.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { launchBrowser, Service } from './harness.mjs';

const testTimeout = { timeout: 120000 };
// Links of the gateways' uplinks: throughput in bytes per second, latency in ms.
const links = [
  { name: '1 Mbit/s, 100 ms', throughput: 1e6 / 8, latency: 100 },
  { name: '256 kbit/s, 300 ms', throughput: 256e3 / 8, latency: 300 },
];

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

// A page with the DevTools network domain on, recording every reply under
// /ui. A revalidated reply shows as the cached 200 in responseReceived; what
// came over the wire (304) is in responseReceivedExtraInfo, and a reply taken
// from the memory cache without asking has requestServedFromCache.
async function recordedPage(context) {
  const page = await context.newPage();
  const cdp = await context.newCDPSession(page);
  await cdp.send('Network.enable');
  page.replies = new Map();
  const replyOf = (requestId) => {
    if (!page.replies.has(requestId)) page.replies.set(requestId, { bodyWireBytes: 0 });
    return page.replies.get(requestId);
  };
  cdp.on('Network.responseReceived', ({ requestId, response }) => {
    if (!new URL(response.url).pathname.startsWith('/ui')) return;
    // Header names as the server wrote them; looked up here in lower case.
    const headers = Object.fromEntries(Object.entries(response.headers).map(([name, value]) => [name.toLowerCase(), value]));
    Object.assign(replyOf(requestId), { url: response.url, mimeType: response.mimeType, headers });
  });
  cdp.on('Network.responseReceivedExtraInfo', ({ requestId, statusCode }) => {
    replyOf(requestId).wireStatus = statusCode;
  });
  cdp.on('Network.requestServedFromCache', ({ requestId }) => {
    replyOf(requestId).servedFromCache = true;
  });
  cdp.on('Network.dataReceived', ({ requestId, encodedDataLength }) => {
    replyOf(requestId).bodyWireBytes += encodedDataLength;
  });
  cdp.on('Network.loadingFinished', ({ requestId, encodedDataLength }) => {
    replyOf(requestId).wireBytes = encodedDataLength;
  });
  page.cdp = cdp;
  page.uiReplies = () => [...page.replies.values()].filter((reply) => reply.url);
  return page;
}

test('a cold visit gets the compressed copies; a warm reload transfers no file body', testTimeout, async () => {
  const context = await browserHandle.browser.newContext();
  const page = await recordedPage(context);
  await page.goto(`${service.url}/ui/login`);
  await page.getByLabel('Username').waitFor();
  const cold = page.uiReplies();
  const script = cold.find((reply) => /\/ui\/assets\/.*\.js$/.test(reply.url));
  assert.ok(script, 'the script was loaded');
  assert.match(script.headers['content-encoding'] ?? '', /^(br|gzip)$/);
  assert.match(script.headers['cache-control'], /immutable/);
  assert.ok(script.wireBytes < 300000, `script sent as ${script.wireBytes} bytes`);
  const index = cold.find((reply) => reply.mimeType === 'text/html');
  assert.equal(index.headers['cache-control'], 'no-cache');

  page.replies.clear();
  await page.reload();
  await page.getByLabel('Username').waitFor();
  const warm = page.uiReplies();
  assert.ok(warm.some((reply) => reply.mimeType === 'text/html'));
  assert.ok(warm.some((reply) => /\/ui\/assets\/.*\.js$/.test(reply.url)));
  for (const reply of warm) {
    assert.ok(reply.servedFromCache || reply.wireStatus === 304, `${reply.url} came again: ${reply.wireStatus}`);
    assert.equal(reply.bodyWireBytes, 0, `${reply.url} brought a body`);
  }
  await context.close();
});

// Figures for the note, not assertions: a run on a shared machine varies.
test('throttled load times', testTimeout, async () => {
  for (const link of links) {
    const context = await browserHandle.browser.newContext();
    const page = await recordedPage(context);
    await page.cdp.send('Network.emulateNetworkConditions', {
      offline: false, latency: link.latency, downloadThroughput: link.throughput, uploadThroughput: link.throughput,
    });
    const coldStart = Date.now();
    await page.goto(`${service.url}/ui/login`, { timeout: 60000 });
    await page.getByLabel('Username').waitFor({ timeout: 60000 });
    const coldMs = Date.now() - coldStart;
    const wireBytes = page.uiReplies().reduce((sum, reply) => sum + (reply.wireBytes ?? 0), 0);
    const warmStart = Date.now();
    await page.reload({ timeout: 60000 });
    await page.getByLabel('Username').waitFor({ timeout: 60000 });
    const warmMs = Date.now() - warmStart;
    console.log(`${link.name}: login usable cold ${coldMs} ms (${wireBytes} bytes of headers and bodies), ` +
      `warm reload ${warmMs} ms`);
    await context.close();
  }
});
