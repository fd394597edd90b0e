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
// nothing. These imports are replaced by a stand-in that throws when rendered
// or called, so that a page starting to use the option fails loudly in the
// browser tests instead of rendering without it. Each entry: the importing
// files within antd/es, the import they make, the option that needs it, and,
// for an import that is used even without the option, a stand-in of its own.
const failure = (option) => `throw new Error(${JSON.stringify(`${option} is left out of this build (see vite.config.js)`)})`;
const component = (option) => `export default function LeftOut() { ${failure(option)}; }`;
// App makes every API its pages may take from App.useApp(); the console's
// pages take message only.
const notifications = (option) => `
const leftOut = () => { ${failure(option)}; };
const api = { open: leftOut, success: leftOut, info: leftOut, warning: leftOut, error: leftOut, destroy: leftOut };
export default function useNotification() { return [api, null]; }`;
const leftOutImports = [
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
function leaveOutUnusedImports() {
  return {
    name: 'leave-out-unused-imports',
    enforce: 'pre',
    resolveId(source, importer) {
      const file = importer?.replaceAll('\\', '/');
      const entry = leftOutImports.find(
        ([importers, what]) => source === what && importers.some((from) => file?.endsWith(`/antd/es/${from}`)),
      );
      return entry ? leftOutPrefix + entry[2] : null;
    },
    load(id) {
      if (!id.startsWith(leftOutPrefix)) return null;
      const option = id.slice(leftOutPrefix.length);
      const [, , , standIn = component] = leftOutImports.find((entry) => entry[2] === option);
      return standIn(option);
    },
  };
}

// The service serves the build under /ui, so every asset URL must carry that prefix.
export default defineConfig(({ mode }) => ({
  base: '/ui/',
  plugins: [react(), leaveOutUnusedImports(), ...(mode === 'analyze' ? [bundleComposition()] : [])],
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
}));
