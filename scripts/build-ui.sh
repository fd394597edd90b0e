#!/usr/bin/env bash
# Builds the web UI once, natively, in build/ui and prints the folder of its
# production build, which cross builds and packages embed through
# -DNODECONSOLE_UI_DIST. Nothing is rebuilt when ui/ has not changed. A caller
# that already has a build names it in NODECONSOLE_UI_DIST, and that is used.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -n "${NODECONSOLE_UI_DIST:-}" ]; then
  echo "$NODECONSOLE_UI_DIST"
  exit 0
fi
cmake -S . -B build/ui -G Ninja -DCMAKE_BUILD_TYPE=Release -DNODECONSOLE_TESTS=OFF >/dev/null
cmake --build build/ui --target ui/dist.stamp -j 2 >&2
echo "$PWD/build/ui/ui/dist"
