// This file imports no package at its top, only inside the config function,
// so that the node tests (ui/unit, run without the build's node_modules) can
// load it and check its stand-ins.
import { fileURLToPath } from 'node:url';

// `vite build --mode analyze` prints what the bundle holds: the rendered bytes
// of each npm package, antd's by component, and of the UI's own sources,
// largest first.
function bundleComposition() {
  return {
    name: 'bundle-composition',
    generateBundle(_options, bundle) {
      const bytes = new Map();
      for (const chunk of Object.values(bundle)) {
        if (chunk.type !== 'chunk') continue;
        for (const [id, module] of Object.entries(chunk.modules)) {
          const match = id.match(/node_modules\/((?:@[^/]+\/)?[^/]+(?:\/es\/[^/]+)?)/);
          const owner = match ? match[1] : '(console sources)';
          bytes.set(owner, (bytes.get(owner) ?? 0) + module.renderedLength);
        }
      }
      const rows = [...bytes].sort((a, b) => b[1] - a[1]);
      for (const [owner, size] of rows) console.log(`${String(size).padStart(9)}  ${owner}`);
    },
  };
}

// antd components import whole other components for options the console
// never uses; each would cost the gateway's flash and the operator's link for
// nothing. These imports are replaced by a stand-in that throws when rendered
// or called, so that a page starting to use the option fails loudly in the
// browser tests instead of rendering without it. Each entry: the importing
// files within antd/es, the import they make, the option that needs it, and,
// for an import that is used even without the option, a stand-in of its own.
const failure = (option) => `throw new Error(${JSON.stringify(`${option} is left out of this build (see vite.config.js)`)})`;
const component = (option) => `export default function LeftOut() { ${failure(option)}; }`;
// App makes every API its pages may take from App.useApp(); the console's
// pages take modal only.
const notifications = (option) => `
const leftOut = () => { ${failure(option)}; };
const api = { open: leftOut, success: leftOut, info: leftOut, warning: leftOut, error: leftOut, destroy: leftOut };
export default function useNotification() { return [api, null]; }`;
export const leftOutImports = [
  [['card/Card.js'], '../tabs', "Card's tabList"],
  [['card/Card.js'], '../skeleton', "Card's loading"],
  [['modal/Modal.js'], '../skeleton', "Modal's loading"],
  [['input/index.js'], './OTP', 'Input.OTP'],
  [['input/index.js'], './Search', 'Input.Search'],
  [['input/index.js'], './TextArea', 'Input.TextArea'],
  [['typography/Base/index.js'], '../Editable', "Typography's editable"],
  [['typography/Base/index.js'], './CopyBtn', "Typography's copyable"],
  [['badge/index.js'], './Ribbon', 'Badge.Ribbon'],
  [['badge/index.js'], './ScrollNumber', "Badge's count"],
  [['app/App.js'], '../notification/useNotification', "App.useApp()'s notification", notifications],
];
const leftOutPrefix = '\0left-out:';

// Which entry stands in for `source` as imported by `importer` (a file path):
// { entry, pair } with the importer-and-import pair it matched, or null.
export function standInFor(entries, source, importer) {
  const file = importer?.replaceAll('\\', '/') ?? '';
  for (const entry of entries) {
    const [importers, what] = entry;
    const from = source === what && importers.find((candidate) => file.endsWith(`/antd/es/${candidate}`));
    if (from) return { entry, pair: `antd/es/${from} imports '${what}'` };
  }
  return null;
}

// A stand-in is matched by antd's internal paths, so an antd release that
// moves or renames a file, or changes the import, would silently stop the
// replacement and bring the left-out component back into the bundle. So after
// a build every pair of every entry must have been replaced (`replaced` holds
// the pairs that were): the message names those that were not, or is '' when
// all were.
export function unusedStandInsMessage(entries, replaced) {
  const unused = entries.flatMap(([importers, what, option]) => importers
    .map((from) => `antd/es/${from} imports '${what}'`)
    .filter((pair) => !replaced.has(pair))
    .map((pair) => `  ${option}: ${pair}`));
  if (unused.length === 0) return '';
  return `stand-ins in vite.config.js (leftOutImports) that replaced nothing in this build:\n${unused.join('\n')}\n`
    + 'antd may have moved or renamed the file, or changed the import: find where the import went now and update '
    + 'the entry, or drop the entry if antd no longer makes the import.';
}

export function leaveOutUnusedImports(entries = leftOutImports) {
  const replaced = new Set();
  let building = false;
  return {
    name: 'leave-out-unused-imports',
    enforce: 'pre',
    configResolved(config) {
      building = config.command === 'build';
    },
    buildStart() {
      replaced.clear();
    },
    resolveId(source, importer) {
      const match = standInFor(entries, source, importer);
      if (!match) return null;
      replaced.add(match.pair);
      return leftOutPrefix + match.entry[2];
    },
    load(id) {
      if (!id.startsWith(leftOutPrefix)) return null;
      const option = id.slice(leftOutPrefix.length);
      const [, , , standIn = component] = entries.find((entry) => entry[2] === option);
      return standIn(option);
    },
    // Only a whole build resolves every import: the dev server resolves what
    // a page asks for, and a watched rebuild only what changed.
    buildEnd(error) {
      if (!building || error || this.meta.watchMode) return;
      const message = unusedStandInsMessage(entries, replaced);
      if (message) this.error(message);
    },
  };
}

// The service serves the build under /ui, so every asset URL must carry that prefix.
export default async ({ mode }) => ({
  base: '/ui/',
  plugins: [
    (await import('@vitejs/plugin-react')).default(),
    leaveOutUnusedImports(),
    ...(mode === 'analyze' ? [bundleComposition()] : []),
  ],
  resolve: {
    alias: {
      'resize-observer-polyfill': fileURLToPath(new URL('./src/components/native_resize_observer.js', import.meta.url)),
    },
  },
  build: {
    sourcemap: false,
    reportCompressedSize: false,
    // The whole build is compiled into the gateway's executable, whose budget
    // the embedding step checks; the entry chunk alone passes Vite's default.
    chunkSizeWarningLimit: 1200,
  },
});
