#!/usr/bin/env bash
# Builds the web UI once, natively, in build/ui and prints the folder of its
# production build, which cross builds and packages embed through
# -DNODECONSOLE_UI_DIST. Nothing is rebuilt when ui/ has not changed.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/ui -G Ninja -DCMAKE_BUILD_TYPE=Release -DNODECONSOLE_TESTS=OFF >/dev/null
cmake --build build/ui --target ui/dist.stamp -j 2 >&2
echo "$PWD/build/ui/ui/dist"
