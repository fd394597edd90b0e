#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# runs every test and each fuzz target for 10 seconds (FUZZ_SECONDS); then builds
# the arm64 package (checked with lintian) with its C++ tests, compiled with the
# package's flags, and the armhf build's C++ tests, and runs both under qemu:
# armhf stands for the 32-bit gateways, whose time, file offsets and sizes are
# narrower. scripts/package.sh without arguments covers amd64, arm64 and armhf.
set -euo pipefail
cd "$(dirname "$0")/.."
# Everything at the start, the cross compilers and emulator too, so that a
# missing package stops the run before the long builds.
scripts/install-deps.sh package arm64 armhf
# Line tables are all that a sanitizer's report needs to name file and line;
# full debug information adds about an eighth to the build. Unity batches parse
# the shared headers once per batch (the build takes less than half the time).
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DNODECONSOLE_SANITIZE=ON \
  -DCMAKE_UNITY_BUILD=ON
# Each phase's end is stamped with the seconds since the start, for the CI budget.
stamp() { echo "== $1 done at $SECONDS s"; }
stamp "installing"
cmake --build build/test
stamp "native build"
(cd build/test && ctest --output-on-failure -j2)
stamp "native tests"
fuzz/run.sh "${FUZZ_SECONDS:-10}"
stamp "fuzzing"
# The ARM builds embed the web UI that the build above has just made.
export NODECONSOLE_UI_DIST=$PWD/build/test/ui/dist
scripts/package.sh --tests arm64
stamp "arm64 package and tests"
scripts/test-arm.sh armhf
stamp "armhf tests"
