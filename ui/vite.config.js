import { fileURLToPath } from 'node:url';
import { defineConfig } from 'vite';
import react from '@vitejs/plugin-react';

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
// nothing. These imports are replaced by a stand-in that throws when rendered,
// so that a page starting to use the option fails loudly in the browser tests
// instead of rendering without it. Each entry: the importing file within
// antd/es, the import it makes, and the option that needs it.
const leftOutImports = [
  ['card/Card.js', '../tabs', "Card's tabList"],
  ['table/InternalTable.js', '../pagination', "Table's pagination (the console passes pagination={false})"],
  ['table/hooks/useFilter/FilterDropdown.js', '../../../tree', "a Table column's filters"],
  ['table/hooks/useFilter/FilterDropdown.js', '../../../dropdown', "a Table column's filters"],
  ['table/hooks/useFilter/FilterDropdown.js', '../../../radio', "a Table column's filters"],
  ['table/hooks/useSelection.js', '../../dropdown', "Table's rowSelection"],
  ['table/hooks/useSelection.js', '../../radio', "Table's rowSelection"],
];
const leftOutPrefix = '\0left-out:';
function leaveOutUnusedImports() {
  return {
    name: 'leave-out-unused-imports',
    enforce: 'pre',
    resolveId(source, importer) {
      const file = importer?.replaceAll('\\', '/');
      const entry = leftOutImports.find(([from, what]) => source === what && file?.endsWith(`/antd/es/${from}`));
      return entry ? leftOutPrefix + entry[2] : null;
    },
    load(id) {
      if (!id.startsWith(leftOutPrefix)) return null;
      const message = `${id.slice(leftOutPrefix.length)} is left out of this build (see vite.config.js)`;
      return `export default function LeftOut() { throw new Error(${JSON.stringify(message)}); }`;
    },
  };
}

// The service serves the build under /ui, so every asset URL must carry that prefix.
export default defineConfig(({ mode }) => ({
  base: '/ui/',
  plugins: [react(), leaveOutUnusedImports(), ...(mode === 'analyze' ? [bundleComposition()] : [])],
  resolve: {
    alias: {
      'resize-observer-polyfill': fileURLToPath(new URL('./src/native_resize_observer.js', import.meta.url)),
    },
  },
  build: {
    sourcemap: false,
    reportCompressedSize: false,
    // The whole build is compiled into the gateway's executable; one chunk is
    // what the page needs, so the size warning is set to the embedding budget.
    chunkSizeWarningLimit: 1200,
  },
}));
