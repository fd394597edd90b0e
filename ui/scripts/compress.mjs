// Writes a gzip (level 9) and a Brotli (quality 11) copy beside every text file
// of a production build, keeping each copy only when it is smaller than the
// file itself. The service embeds the copies and picks one per request by the
// client's Accept-Encoding, so nothing is compressed while serving.
//   node compress.mjs <dist folder>
import { readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { brotliCompressSync, constants, gzipSync } from 'node:zlib';

// Images and fonts of the build are compressed formats already.
const textExtensions = /\.(html|js|mjs|css|json|txt|svg|webmanifest)$/i;

const encoders = [
  ['.gz', (bytes) => gzipSync(bytes, { level: 9 })],
  [
    '.br',
    (bytes) =>
      brotliCompressSync(bytes, {
        params: {
          [constants.BROTLI_PARAM_QUALITY]: 11,
          [constants.BROTLI_PARAM_MODE]: constants.BROTLI_MODE_TEXT,
          [constants.BROTLI_PARAM_SIZE_HINT]: bytes.length,
        },
      }),
  ],
];

function filesUnder(folder) {
  return readdirSync(folder, { withFileTypes: true, recursive: true })
    .filter((entry) => entry.isFile())
    .map((entry) => join(entry.parentPath ?? entry.path, entry.name));
}

const folder = process.argv[2];
if (!folder) {
  console.error('usage: node compress.mjs <dist folder>');
  process.exit(2);
}
// Copies left by an earlier run would otherwise be compressed again.
for (const file of filesUnder(folder)) if (/\.(gz|br)$/.test(file)) rmSync(file);
for (const file of filesUnder(folder)) {
  if (!textExtensions.test(file)) continue;
  const original = readFileSync(file);
  for (const [suffix, encode] of encoders) {
    const encoded = encode(original);
    if (encoded.length < original.length) writeFileSync(file + suffix, encoded);
  }
}
