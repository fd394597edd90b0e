// What the browser tests need around a page: a service process of its own in a
// temporary folder, the tests' fake systemctl (tests/support/fake_systemctl.sh),
// which records its commands and keeps each unit's state, the fake journalctl
// (tests/support/fake_journalctl.sh), which plays the forwarder's journal, and
// a headless Chromium.
import { spawn } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';
import { setTimeout as sleep } from 'node:timers/promises';

const startTimeoutMs = 15000;
// The forwarder is watched for a second after each restart rather than five:
// the fake systemctl fails at once or not at all, and each apply of the suite
// is four seconds shorter.
const settleSeconds = 1;
const stopTimeoutMs = 5000;

export const settings = {
  binary: process.env.NC_E2E_BINARY,
  modules: process.env.NC_E2E_MODULES,
  screenshots: process.env.NC_E2E_SCREENSHOTS,
  config: process.env.NC_E2E_CONFIG,
  https: process.env.NC_E2E_HTTPS === '1',
};

// Over HTTPS every service of the run serves one pair, made by the binary
// itself on a first start as the package's first start makes it, and the
// browser reaches it by the machine's name, which that certificate names.
// Chromium trusts the pair through its key's SPKI hash; it asks for Brotli
// only from secure origins (and loopback addresses), so a name other than
// 127.0.0.1 makes the content coding tell HTTPS apart.
const tlsHost = os.hostname();
let tlsPairMade;

async function makeTlsPair() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'nodeconsole-e2e-tls-'));
  const pair = { dir, certificate: path.join(dir, 'certificate.pem'), key: path.join(dir, 'key.pem') };
  const child = spawn(settings.binary, ['--listen', '127.0.0.1', '--port', String(await freePort()),
    '--forwarderConfigPath', path.join(dir, 'global_conf.json'), '--dataPath', path.join(dir, 'accounts.sqlite3'),
    '--forwarderUnitServiceName=',
    '--tlsCertificate', pair.certificate, '--tlsKey', pair.key], { cwd: dir, stdio: ['ignore', 'pipe', 'pipe'] });
  liveServices.add(child);
  let output = '';
  child.stdout.on('data', (chunk) => { output += chunk; });
  await waitUntil(() => output.includes('Listening') || exited(child), startTimeoutMs, 'the pair to be made');
  await stopProcess(child);
  if (!fs.existsSync(pair.key)) throw new Error(`no TLS pair was made:\n${output}`);
  const publicKey = new crypto.X509Certificate(fs.readFileSync(pair.certificate)).publicKey;
  pair.spkiHash = crypto.createHash('sha256').update(publicKey.export({ type: 'spki', format: 'der' })).digest('base64');
  process.on('exit', () => fs.rmSync(dir, { recursive: true, force: true }));
  return pair;
}

export function tlsPair() {
  tlsPairMade ??= makeTlsPair();
  return tlsPairMade;
}

export function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function connects(port) {
  return new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1');
    socket.once('connect', () => socket.end(() => resolve(true)));
    socket.once('error', () => resolve(false));
  });
}

// Asks `check` every `everyMs` until it says true: for a state outside the
// page (a process, a port, the service's view of a token) that sends no event.
export async function waitUntil(check, timeoutMs, what, everyMs = 50) {
  const deadline = Date.now() + timeoutMs;
  while (Date.now() < deadline) {
    if (await check()) return;
    await sleep(everyMs);
  }
  throw new Error(`timed out waiting for ${what}`);
}

// A test that times out may leave its service behind; none may outlive the run.
const liveServices = new Set();
process.on('exit', () => {
  for (const child of liveServices) if (!exited(child)) process.kill(child.pid, 'SIGKILL');
});

function exited(child) {
  return child.exitCode !== null || child.signalCode !== null;
}

async function stopProcess(child) {
  if (exited(child)) return;
  process.kill(child.pid, 'SIGTERM');
  try {
    await waitUntil(() => exited(child), stopTimeoutMs, 'the service to stop');
  } catch {
    process.kill(child.pid, 'SIGKILL');
    await waitUntil(() => exited(child), stopTimeoutMs, 'the service to be killed');
  }
}

const support = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..', 'tests', 'support');
const fakes = { systemctl: 'fake_systemctl.sh', journalctl: 'fake_journalctl.sh' };

// The lines of one statistics report as lora_pkt_fwd writes them, at report
// time `time` (Unix seconds), with the acknowledged shares as printed.
export function reportLines(time, received, { pushAck = '100.00%', pullAck = '100.00%' } = {}) {
  const head = new Date(time * 1000).toISOString().replace('T', ' ').slice(0, 19);
  return [`##### ${head} GMT #####`, '### [UPSTREAM] ###', `# RF packets received by concentrator: ${received}`,
    '# CRC_OK: 100.00%, CRC_FAIL: 0.00%, NO_CRC: 0.00%', `# RF packets forwarded: ${received} (230 bytes)`,
    '# PUSH_DATA datagrams sent: 2 (1234 bytes)', `# PUSH_DATA acknowledged: ${pushAck}`, '### [DOWNSTREAM] ###',
    `# PULL_DATA sent: 3 (${pullAck} acknowledged)`, '# PULL_RESP(onse) datagrams received: 0 (0 bytes)',
    '# RF packets sent to concentrator: 0 (0 bytes)', '# TX errors: 0', '##### END #####'];
}

// One service with its own forwarder file, database and systemctl log. It
// keeps its port across restarts, so a browser keeps its storage for it.
export class Service {
  static async start(extraArgs = []) {
    const service = new Service(fs.mkdtempSync(path.join(os.tmpdir(), 'nodeconsole-e2e-')), await freePort(), extraArgs);
    await service.launch();
    return service;
  }

  // Runs `body` with a service of its own, then closes the test's pages and
  // removes the service. The pages go first, so that none is still asking the
  // service for its units while it stops and its folder is removed. A test's
  // own failure is the one reported, with what the service printed; one in
  // the clean-up is reported only when the test passed.
  static async with(extraArgs, body) {
    const service = await Service.start(extraArgs);
    let failure;
    try {
      await body(service);
    } catch (error) {
      error.message += `\n${service.diagnostics()}`;
      failure = error;
    }
    try {
      await closeTestContexts();
      await service.dispose();
    } catch (error) {
      if (!failure) throw error;
      failure.message += `\n--- and in the clean-up: ${error.message}`;
    }
    if (failure) throw failure;
  }

  constructor(dir, port, extraArgs = []) {
    this.dir = dir;
    this.port = port;
    this.extraArgs = extraArgs;
    this.configPath = path.join(dir, 'global_conf.json');
    this.systemctlDir = path.join(dir, 'bin');
    this.output = '';
    fs.copyFileSync(settings.config, this.configPath);
    this.journalEntries = 0;
    fs.mkdirSync(this.systemctlDir);
    for (const [name, script] of Object.entries(fakes)) {
      fs.copyFileSync(path.join(support, script), path.join(this.systemctlDir, name));
      fs.chmodSync(path.join(this.systemctlDir, name), 0o755);
    }
  }

  // Appends lines of the forwarder's output to its journal, taken at
  // `timeSeconds`, as journalctl --output=json prints them.
  journal(messages, timeSeconds, priority = 6) {
    const entries = [].concat(messages).map((message) => {
      this.journalEntries += 1;
      return JSON.stringify({ __CURSOR: `c${this.journalEntries}`,
        __REALTIME_TIMESTAMP: String(timeSeconds * 1000000 + this.journalEntries), PRIORITY: String(priority),
        MESSAGE: message });
    });
    fs.appendFileSync(path.join(this.systemctlDir, 'entries'), entries.map((entry) => `${entry}\n`).join(''));
  }

  // Reports every 30 s up to `newest` (Unix seconds), one per received count.
  reports(newest, receivedCounts, shares) {
    receivedCounts.forEach((received, at) => {
      const time = newest - 30 * (receivedCounts.length - 1 - at);
      this.journal(reportLines(time, received, shares), time);
    });
  }

  get url() {
    return settings.https ? `https://${tlsHost}:${this.port}` : `http://127.0.0.1:${this.port}`;
  }

  async launch() {
    const args = ['--listen', '127.0.0.1', '--port', String(this.port), '--forwarderConfigPath', this.configPath,
      '--dataPath', path.join(this.dir, 'accounts.sqlite3'), '--forwarderSettleSeconds', String(settleSeconds),
      ...this.extraArgs];
    if (settings.https) {
      const pair = await tlsPair();
      args.push('--tlsCertificate', pair.certificate, '--tlsKey', pair.key);
    }
    const env = { ...process.env, PATH: `${path.join(this.dir, 'bin')}:${process.env.PATH}` };
    const child = spawn(settings.binary, args, { cwd: this.dir, env, stdio: ['ignore', 'pipe', 'pipe'] });
    liveServices.add(child);
    child.on('exit', () => liveServices.delete(child));
    this.child = child;
    this.child.stdout.on('data', (chunk) => { this.output += chunk; });
    this.child.stderr.on('data', (chunk) => { this.output += chunk; });
    await waitUntil(async () => {
      if (exited(this.child)) throw new Error(`service ended at start:\n${this.output}`);
      return this.output.includes('Listening') && connects(this.port);
    }, startTimeoutMs, 'the service to listen');
  }

  async restart() {
    await stopProcess(this.child);
    await this.launch();
  }

  async stop() {
    await stopProcess(this.child);
  }

  async dispose() {
    await this.stop();
    // A fake systemctl or journalctl the service started may still be writing
    // beside itself as the service goes, after the removal has emptied their
    // folder. The whole removal is tried again, between waits that leave the
    // event loop free: rmSync's own retries only retry the last rmdir, and
    // sleep without returning, for 127 s in all at 50 retries of 100 ms.
    await waitUntil(() => {
      try {
        fs.rmSync(this.dir, { recursive: true, force: true });
        return true;
      } catch (error) {
        if (error.code !== 'ENOTEMPTY') throw error;
        return false;
      }
    }, stopTimeoutMs, `${this.dir} to be removed`, 100);
  }

  // What the service printed and the fake systemctl's journals (the last
  // queries only), for a failure that does not repeat on demand.
  diagnostics() {
    const tail = (name, lines) => {
      const file = path.join(this.systemctlDir, name);
      return fs.existsSync(file) ? fs.readFileSync(file, 'utf8').trimEnd().split('\n').slice(-lines).join('\n') : '';
    };
    return `--- service output\n${this.output}--- systemctl commands\n${tail('log', 40)}\n` +
      `--- last systemctl queries\n${tail('queries', 20)}`;
  }

  // The commands other than `show`, as their argument lists.
  systemctlCalls() {
    const log = path.join(this.systemctlDir, 'log');
    if (!fs.existsSync(log)) return [];
    return fs.readFileSync(log, 'utf8').split('\n').filter((line) => line.startsWith('begin ')).map((line) => line.slice(6));
  }

  // Files that steer the fake's state machine for one unit (see the script).
  unitFile(unit, name, text) {
    const dir = path.join(this.systemctlDir, 'units', unit);
    fs.mkdirSync(dir, { recursive: true });
    fs.writeFileSync(path.join(dir, name), text);
  }

  // One of the fake's files that steer every later command (see the script),
  // removed with null.
  systemctlFile(name, text) {
    const file = path.join(this.systemctlDir, name);
    if (text === null) fs.rmSync(file, { force: true });
    else fs.writeFileSync(file, text);
  }

  failNextRestarts(unit, count) {
    this.unitFile(unit, 'failing-restarts', String(count));
  }

  setUnitState(unit, active, sub, sinceMs = Date.now()) {
    this.unitFile(unit, 'state', `${active} ${sub} ${sinceMs}\n`);
  }

  configText() {
    return fs.readFileSync(this.configPath, 'utf8');
  }

  // The forwarder file as written by the service; comments are allowed because
  // the original file has them.
  config() {
    const text = fs.readFileSync(this.configPath, 'utf8');
    return JSON.parse(text.replace(/\/\*[\s\S]*?\*\//g, ''));
  }
}

const chromiumArgs = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// Debian's Chromium under playwright-core, started as a server so that its
// process id is known and it can be stopped by that id.
// The browser contexts a test opened, closed together when it ends: a page
// left open keeps polling its stopped service and drawing, and over a long
// suite those pages take the CPU that later tests wait on.
const testContexts = new Set();

export async function newTestContext(browser, options) {
  const context = await browser.newContext(options);
  testContexts.add(context);
  return context;
}

export async function closeTestContexts() {
  const contexts = [...testContexts];
  testContexts.clear();
  await Promise.all(contexts.map((context) => context.close()));
}

export async function launchBrowser() {
  const { chromium } = createRequire(path.join(settings.modules, 'e2e.js'))('playwright-core');
  // The resolver rule keeps the machine's name on loopback whatever it resolves to.
  const httpsArgs = settings.https ? [`--ignore-certificate-errors-spki-list=${(await tlsPair()).spkiHash}`,
    `--host-resolver-rules=MAP ${tlsHost} 127.0.0.1`] : [];
  const server = await chromium.launchServer({ executablePath: '/usr/bin/chromium', args: [...chromiumArgs, ...httpsArgs] });
  const pid = server.process().pid;
  const browser = await chromium.connect(server.wsEndpoint());
  return {
    browser,
    async close() {
      await browser.close().catch(() => {});
      await server.close().catch(() => {});
      try {
        process.kill(pid, 'SIGKILL');
      } catch {
        // Already gone, which is the normal case after close().
      }
    },
  };
}

// Waits until nothing on the page moves any more: no antd motion is under way
// (an element entering or leaving carries its motion's class from before its
// animation starts until after it ends) and every finite CSS animation and
// transition has finished, on two animation frames in a row. Spinners and
// other animations that run for ever are left out.
export async function waitForStillness(page) {
  await page.evaluate(() => { window.stillFrames = 0; });
  await page.waitForFunction(() => {
    const motion = /^ant-[\w-]+-(appear|enter|leave)(-(prepare|start|active))?$/;
    const moving = [...document.querySelectorAll('[class*="-appear"], [class*="-enter"], [class*="-leave"]')]
      .some((element) => [...element.classList].some((name) => motion.test(name)))
      || document.getAnimations().some((animation) => animation.playState === 'running'
        && animation.effect?.getComputedTiming().iterations !== Infinity);
    window.stillFrames = moving ? 0 : window.stillFrames + 1;
    return window.stillFrames >= 2;
  });
}

// The accessibility faults axe-core finds in the page as it stands, of serious
// or critical impact, as "rule: elements" lines.
export async function seriousAxeViolations(page) {
  const axeScript = createRequire(path.join(settings.modules, 'e2e.js')).resolve('axe-core/axe.min.js');
  if (!(await page.evaluate(() => 'axe' in window))) await page.addScriptTag({ path: axeScript });
  const violations = await page.evaluate(async () => (await window.axe.run(document, { resultTypes: ['violations'] }))
    .violations);
  return violations
    .filter((violation) => violation.impact === 'serious' || violation.impact === 'critical')
    .map((violation) => `${violation.id}: ${violation.nodes.map((node) => node.target.join(' ')).join(', ')}`);
}

// A page with the DevTools network domain on, recording every reply under
// /ui. A revalidated reply shows as the cached 200 in responseReceived; what
// came over the wire (304) is in responseReceivedExtraInfo, and a reply taken
// from the memory cache without asking has requestServedFromCache; one taken
// from the disk cache (where Chromium sometimes keeps a large script) says so
// in its response.
export async function recordedPage(context) {
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
    if (response.fromDiskCache) replyOf(requestId).servedFromCache = true;
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
