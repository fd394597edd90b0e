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

// antd's Card imports Tabs for its tabList option, which the console never
// uses; the tab strip and rc-tabs would be about 40 KB of the bundle. A Card
// given a tabList fails loudly instead of rendering without its tabs.
const cardTabsStub = '\0card-tabs-stub';
function leaveOutCardTabs() {
  return {
    name: 'leave-out-card-tabs',
    enforce: 'pre',
    resolveId(source, importer) {
      if (source === '../tabs' && importer && /antd[\\/]es[\\/]card[\\/]Card\.js$/.test(importer)) return cardTabsStub;
      return null;
    },
    load(id) {
      if (id !== cardTabsStub) return null;
      return "export default function Tabs() { throw new Error('Card tabList is left out of this build'); }";
    },
  };
}

// The service serves the build under /ui, so every asset URL must carry that prefix.
export default defineConfig(({ mode }) => ({
  base: '/ui/',
  plugins: [react(), leaveOutCardTabs(), ...(mode === 'analyze' ? [bundleComposition()] : [])],
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
