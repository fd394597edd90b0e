#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# runs every test and each fuzz target for 20 seconds (FUZZ_SECONDS); then builds
# the arm64 package (checked with lintian) and runs the arm64 build's C++ tests
# under qemu. scripts/package.sh and scripts/test-arm.sh without arguments cover
# amd64, arm64 and armhf.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNODECONSOLE_SANITIZE=ON
cmake --build build/test
(cd build/test && ctest --output-on-failure -j2)
fuzz/run.sh "${FUZZ_SECONDS:-20}"
# The ARM builds embed the web UI that the build above has just made.
export NODECONSOLE_UI_DIST=$PWD/build/test/ui/dist
scripts/package.sh arm64
scripts/test-arm.sh arm64
