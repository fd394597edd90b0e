// Runs the browser tests against a service binary:
//   node ui/e2e/run.mjs --binary PATH --modules NODE_MODULES_DIR --screenshots DIR [--config PATH]
//     [--only console|forwarder|security|delivery ...] [--name PATTERN ...] [--https]
// --only (repeatable) runs just the named test files, e.g. --only delivery;
// --name (repeatable) just the tests whose names match one of the patterns.
// --https serves every service over HTTPS, the browser trusting its made
// certificate.
// The throttled load times are not a test: bench/ui_throttled.mjs measures them.
// The tests need playwright-core from the UI build's node_modules and
// Debian's /usr/bin/chromium; no browser is downloaded.
import { spawn } from 'node:child_process';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';

const here = path.dirname(fileURLToPath(import.meta.url));
const repoRoot = path.resolve(here, '..', '..');

const { values } = parseArgs({
  options: {
    binary: { type: 'string' },
    modules: { type: 'string', default: path.join(repoRoot, 'ui', 'node_modules') },
    screenshots: { type: 'string' },
    config: { type: 'string', default: path.resolve(repoRoot, 'tests', 'data', 'semtech-eu868-global_conf.json') },
    only: { type: 'string', multiple: true },
    name: { type: 'string', multiple: true },
    https: { type: 'boolean', default: false },
  },
});
if (!values.binary || !values.screenshots) {
  console.error('usage: run.mjs --binary PATH --screenshots DIR [--modules DIR] [--config PATH]');
  process.exit(2);
}

const env = {
  ...process.env,
  NC_E2E_BINARY: path.resolve(values.binary),
  NC_E2E_MODULES: path.resolve(values.modules),
  NC_E2E_SCREENSHOTS: path.resolve(values.screenshots),
  NC_E2E_CONFIG: path.resolve(values.config),
  NC_E2E_HTTPS: values.https ? '1' : '0',
};
const allFiles = ['console', 'forwarder', 'security', 'delivery'];
const chosen = values.only ?? allFiles;
const unknown = chosen.filter((name) => !allFiles.includes(name));
if (unknown.length > 0) {
  console.error(`no such test file: ${unknown.join(', ')} (known: ${allFiles.join(', ')})`);
  process.exit(2);
}
const testFiles = chosen.map((name) => path.join(here, `${name}.test.mjs`));
const runner = spawn(
  process.execPath,
  ['--test', '--test-reporter=tap', '--test-concurrency=1',
    ...(values.name ?? []).map((pattern) => `--test-name-pattern=${pattern}`), ...testFiles],
  { env, stdio: 'inherit' },
);
runner.on('exit', (code, signal) => process.exit(signal ? 1 : code));
