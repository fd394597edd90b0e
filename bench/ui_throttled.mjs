#!/usr/bin/env node
// Times the web UI over slow links in Debian's Chromium, against a service
// binary started on a temporary folder (with the browser tests' harness and
// fake systemctl and journalctl): for each link, in fresh browser profiles,
// the login page usable from a cold cache, the overview's verdict shown after
// pressing Login, the bytes on the wire until then, the facts and the chart
// after Login, and a reload until the verdict shows again from a warm cache. Chromium's network emulation sets each link's throughput
// and latency. These are figures, not a test: a run on a shared machine varies.
//
// Usage, from the repository's root after a build (here build/dev):
//   node bench/ui_throttled.mjs --binary build/dev/nodeconsole --modules build/dev/ui/node_modules
//     [--runs N, default 3] [--config FORWARDER_FILE, default tests/data/semtech-eu868-global_conf.json] [--https]
//     [--relay]
// --https serves over HTTPS with a pair the binary makes, the browser trusting
// it. Chromium's emulation delays each request, not each round trip, so the
// TCP and TLS handshakes' round trips are not in these times; with --relay the
// browser reaches the service through bench/slow_link.py instead, a relay that
// delays every byte as the link would, handshakes included.
// --modules is the UI build's node_modules (playwright-core comes from there);
// the browser is /usr/bin/chromium.
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';

const repoRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');

const { values } = parseArgs({
  options: {
    binary: { type: 'string' },
    modules: { type: 'string' },
    runs: { type: 'string', default: '3' },
    config: { type: 'string', default: path.join(repoRoot, 'tests', 'data', 'semtech-eu868-global_conf.json') },
    https: { type: 'boolean', default: false },
    relay: { type: 'boolean', default: false },
  },
});
const runs = Number(values.runs);
if (!values.binary || !values.modules || !Number.isInteger(runs) || runs < 1) {
  console.error('usage: node bench/ui_throttled.mjs --binary PATH --modules NODE_MODULES_DIR [--runs N] [--config PATH]');
  process.exit(2);
}

// The harness reads its settings from the environment when it is loaded.
Object.assign(process.env, {
  NC_E2E_BINARY: path.resolve(values.binary),
  NC_E2E_MODULES: path.resolve(values.modules),
  NC_E2E_SCREENSHOTS: os.tmpdir(),
  NC_E2E_CONFIG: path.resolve(values.config),
  NC_E2E_HTTPS: values.https ? '1' : '0',
});
const { launchBrowser, recordedPage, Service } = await import('../ui/e2e/harness.mjs');

// Links of the gateways' uplinks: throughput in bytes per second, latency in ms.
const links = [
  { name: '1 Mbit/s, 100 ms', throughput: 1e6 / 8, latency: 100 },
  { name: '256 kbit/s, 300 ms', throughput: 256e3 / 8, latency: 300 },
];

// One run in a fresh browser profile. The bytes are every reply's headers and
// body as they crossed the wire, up to the first showing of the verdict.
async function timedVisit(browser, url, link) {
  const context = await browser.newContext();
  try {
    const page = await recordedPage(context);
    if (!values.relay) {
      await page.cdp.send('Network.emulateNetworkConditions', {
        offline: false, latency: link.latency, downloadThroughput: link.throughput, uploadThroughput: link.throughput,
      });
    }
    const wait = { timeout: 60000 };
    let start = Date.now();
    await page.goto(`${url}/ui/login`, wait);
    await page.getByLabel('Username').waitFor(wait);
    const loginMs = Date.now() - start;
    await page.getByLabel('Username').fill('admin');
    await page.getByLabel('Password').fill('qzvtk');
    start = Date.now();
    await page.getByRole('button', { name: 'Login' }).click();
    await page.locator('.verdict-headline').waitFor(wait);
    const valuesMs = Date.now() - start;
    const wireBytes = [...page.replies.values()].reduce((sum, reply) => sum + (reply.wireBytes ?? 0), 0);
    await page.locator('.system-facts').waitFor(wait);
    const factsMs = Date.now() - start;
    await page.locator('.traffic-chart[data-points]').waitFor(wait);
    const chartMs = Date.now() - start;
    start = Date.now();
    await page.reload(wait);
    await page.locator('.verdict-headline').waitFor(wait);
    const reloadMs = Date.now() - start;
    return { loginMs, valuesMs, factsMs, chartMs, reloadMs, wireBytes };
  } finally {
    await context.close();
  }
}

// bench/slow_link.py between the browser and the service, as `link`.
async function startRelay(service, link) {
  const port = new URL(service.url).port;
  const child = spawn('python3', [path.join(repoRoot, 'bench', 'slow_link.py'), '0', port,
    String(link.throughput * 8), String(link.latency)], { stdio: ['ignore', 'pipe', 'inherit'] });
  const [line] = await once(child.stdout, 'data');
  const url = new URL(service.url);
  url.port = String(line).trim().split(' ')[1];
  return { child, url: url.origin };
}

const browserHandle = await launchBrowser();
let service;
try {
  service = await Service.start();
  service.reports(Math.floor(Date.now() / 1000), [3, 5, 4, 6, 2, 7, 5, 4, 6, 3]);
  for (const link of links) {
    const relay = values.relay ? await startRelay(service, link) : null;
    try {
      for (let run = 1; run <= runs; run++) {
        const { loginMs, valuesMs, factsMs, chartMs, reloadMs, wireBytes } = await timedVisit(browserHandle.browser,
          relay?.url ?? service.url, link);
        console.log(`${link.name}, run ${run}: login usable ${loginMs} ms cold, verdict ${valuesMs} ms after Login ` +
          `(${wireBytes} bytes on the wire), facts ${factsMs} ms, chart ${chartMs} ms, reload until verdict ${reloadMs} ms warm`);
      }
    } finally {
      relay?.child.kill();
    }
  }
} finally {
  await service?.dispose();
  await browserHandle.close();
}
