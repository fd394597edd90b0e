#!/usr/bin/env bash
# Cross-builds the C++ tests for arm64 and armhf (or the architectures given)
# with Debian's cross compilers and runs them with CTest under qemu user-mode
# emulation (no binfmt_misc needed: CTest and the tests prefix the emulator).
# The web UI is built once, natively, and embedded. Prints each run's time.
#   scripts/test-arm.sh [arm64] [armhf]
set -euo pipefail
cd "$(dirname "$0")/.."
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(arm64 armhf)
scripts/install-deps.sh package "${arches[@]}"
uiDist=$(scripts/build-ui.sh)
failed=()

for arch in "${arches[@]}"; do
  case $arch in
    arm64) toolchain=cmake/toolchains/aarch64-linux-gnu.cmake ;;
    armhf) toolchain=cmake/toolchains/arm-linux-gnueabihf.cmake ;;
    *) echo "no toolchain file for $arch" >&2; exit 2 ;;
  esac
  dir=build/test-$arch
  # Optimised as the packages are, without debug information: that adds about
  # 45% to the compile time of every CI run, for a debugger seldom started.
  # Compiled in unity batches, which parse the shared headers once per batch.
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_UNITY_BUILD=ON -DNODECONSOLE_UI_DIST="$uiDist" >/dev/null
  started=$(date +%s)
  cmake --build "$dir" -j 2
  built=$(date +%s)
  # Every architecture runs and shows its times, even after another's failures.
  (cd "$dir" && ctest --output-on-failure -j 2) || failed+=("$arch")
  echo "$arch: built in $((built - started)) s, tests ran in $(($(date +%s) - built)) s under emulation"
done
[ ${#failed[@]} -eq 0 ] || { echo "tests failed on: ${failed[*]}" >&2; exit 1; }
