// The stand-ins of ui/vite.config.js: which antd imports they replace, and the
// build's failure when one of them replaced nothing (antd moved a file).
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { leaveOutUnusedImports, leftOutImports, standInFor } from '../vite.config.js';

const antd = '/build/ui/node_modules/antd/es';

// Runs the plugin's hooks as a build does: every import given is resolved,
// then the build ends. Returns the ids the imports resolved to, and the
// build's error message ('' when it passes).
function build(imports, { command = 'build', watchMode = false, entries } = {}) {
  const plugin = leaveOutUnusedImports(entries);
  plugin.configResolved({ command });
  plugin.buildStart();
  const ids = imports.map(([source, importer]) => plugin.resolveId(source, importer));
  const context = { meta: { watchMode }, error: (message) => { throw new Error(message); } };
  try {
    plugin.buildEnd.call(context);
    return { ids, error: '' };
  } catch (error) {
    return { ids, error: error.message };
  }
}

// What antd 5 imports today, one import per pair of every entry.
const everyPair = leftOutImports.flatMap(([importers, what]) => importers.map((from) => [what, `${antd}/${from}`]));

test('a stand-in replaces exactly its import from its antd file', () => {
  assert.equal(standInFor(leftOutImports, '../tabs', `${antd}/card/Card.js`).entry[2], "Card's tabList");
  assert.equal(standInFor(leftOutImports, '../skeleton', `${antd}/modal/Modal.js`).entry[2], "Modal's loading");
  assert.equal(standInFor(leftOutImports, '../skeleton', 'C:\\ui\\node_modules\\antd\\es\\card\\Card.js').entry[2],
    "Card's loading", 'Windows paths');
  assert.equal(standInFor(leftOutImports, '../tabs', `${antd}/card/Meta.js`), null, 'another file of the folder');
  assert.equal(standInFor(leftOutImports, '../tabs', '/build/ui/node_modules/antd/lib/card/Card.js'), null, 'CommonJS copy');
  assert.equal(standInFor(leftOutImports, './Password', `${antd}/input/index.js`), null, 'another import of the file');
  assert.equal(standInFor(leftOutImports, '../tabs', '/build/ui/src/card/Card.js'), null, 'outside antd');
  assert.equal(standInFor(leftOutImports, '../tabs', undefined), null, 'an entry point');
});

test('a build that replaces every pair passes, and loads the stand-ins', () => {
  const { ids, error } = build([...everyPair, ['react', `${antd}/card/Card.js`]]);
  assert.equal(error, '');
  assert.equal(ids.at(-1), null, 'other imports are left to Vite');
  const plugin = leaveOutUnusedImports();
  assert.match(plugin.load(ids[0]), /^export default function LeftOut\(\) \{ throw new Error\("Card's tabList is left out/);
  assert.match(plugin.load(ids.at(-2)), /export default function useNotification/);
  assert.equal(plugin.load('/build/ui/src/main.jsx'), null);
});

test('a build fails naming each pair that replaced nothing', () => {
  // antd moved card/Card.js, and input/index.js imports Search under a new name.
  const moved = everyPair
    .map(([what, importer]) => [what, importer.replace('/card/Card.js', '/card/CardBase.js')])
    .map(([what, importer]) => [what === './Search' ? './SearchInput' : what, importer]);
  const { error } = build(moved);
  assert.match(error, /replaced nothing in this build/);
  const named = error.split('\n').filter((line) => line.startsWith('  '));
  assert.deepEqual(named, [
    "  Card's tabList: antd/es/card/Card.js imports '../tabs'",
    "  Card's loading: antd/es/card/Card.js imports '../skeleton'",
    "  Input.Search: antd/es/input/index.js imports './Search'",
  ]);
});

test('every importer of an entry counts on its own', () => {
  const entries = [[['a/A.js', 'b/B.js'], '../x', 'the x option']];
  assert.equal(build([['../x', `${antd}/a/A.js`], ['../x', `${antd}/b/B.js`]], { entries }).error, '');
  assert.match(build([['../x', `${antd}/a/A.js`]], { entries }).error, /^ {2}the x option: antd\/es\/b\/B\.js imports '\.\.\/x'$/m);
  assert.equal(build([['../x', `${antd}/a/A.js`], ['../x', `${antd}/a/A.js`]], { entries }).error.includes('a/A.js'), false);
});

test('each build starts afresh; the dev server and watched rebuilds are not checked', () => {
  const plugin = leaveOutUnusedImports();
  plugin.configResolved({ command: 'build' });
  plugin.buildStart();
  for (const [source, importer] of everyPair) plugin.resolveId(source, importer);
  plugin.buildStart();
  assert.throws(() => plugin.buildEnd.call({ meta: { watchMode: false }, error: (message) => { throw new Error(message); } }),
    /Card's tabList/, 'a second build replaced nothing');
  assert.equal(build([], { command: 'serve' }).error, '');
  assert.equal(build([], { watchMode: true }).error, '');
});
