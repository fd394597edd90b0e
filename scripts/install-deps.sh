#!/usr/bin/env bash
# Installs what building, running and testing nodeconsole needs on Debian 12;
# with the argument "bench", also the benchmark's load generator and the server
# it is compared with.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libasio-dev nlohmann-json3-dev libsodium-dev
          libsqlite3-dev libgtest-dev googletest python3 chromium)
# The web UI is built with Node.js and npm. A machine that already has a
# Node.js of its own keeps it: Debian's npm package would conflict with it.
command -v node >/dev/null 2>&1 || packages+=(nodejs npm)
if [ "${1:-}" = bench ]; then packages+=(wrk nginx); fi
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi
