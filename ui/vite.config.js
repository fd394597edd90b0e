import { defineConfig } from 'vite';
import react from '@vitejs/plugin-react';

// The service serves the build under /ui, so every asset URL must carry that prefix.
export default defineConfig({
  base: '/ui/',
  plugins: [react()],
  build: {
    sourcemap: false,
    reportCompressedSize: false,
    // The whole build is compiled into the gateway's executable; one chunk is
    // what the page needs, so the size warning is set to the embedding budget.
    chunkSizeWarningLimit: 1200,
  },
});
