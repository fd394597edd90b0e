#!/usr/bin/env bash
# Installs what building, running and testing nodeconsole needs on Debian 12,
# clang with its runtimes and symbolizer for the fuzz targets among them.
# With the argument "bench", also the benchmark's load generator and the
# servers it is compared with. With "package" followed by architectures (amd64, arm64,
# armhf), also what building the Debian packages and running the tests under
# emulation need: for each foreign architecture Debian's cross compiler, its
# multiarch libraries and the user-mode emulator.
set -euo pipefail
# zlib1g-dev and libbrotli-dev serve one test, which decodes the embedded
# compressed copies of the web UI; the service itself never decodes.
# prometheus (the server and promtool) serves the test that a real Prometheus
# scrapes /metrics; the test runs its own server on a free loopback port. Where
# systemd runs, the package also starts Debian's own on port 9090.
packages=(build-essential cmake ninja-build pkg-config libasio-dev nlohmann-json3-dev libsodium-dev
          libsqlite3-dev libgtest-dev googletest python3 chromium scdoc man-db
          clang libclang-rt-14-dev llvm-14 zlib1g-dev libbrotli-dev prometheus)
# The web UI is built with Node.js and npm. A machine that already has a
# Node.js of its own keeps it: Debian's npm package would conflict with it.
command -v node >/dev/null 2>&1 || packages+=(nodejs npm)
if [ "${1:-}" = bench ]; then packages+=(wrk nginx lighttpd); fi
newArchitectures=()
if [ "${1:-}" = package ]; then
  packages+=(lintian dpkg-dev systemd)
  native=$(dpkg --print-architecture)
  for arch in "${@:2}"; do
    [ "$arch" != "$native" ] || continue
    dpkg --print-foreign-architectures | grep -qx "$arch" || newArchitectures+=("$arch")
    packages+=("crossbuild-essential-$arch" "libsodium-dev:$arch" "libsqlite3-dev:$arch" "libgtest-dev:$arch"
               "libstdc++6:$arch" qemu-user-static)
  done
fi
for arch in "${newArchitectures[@]}"; do dpkg --add-architecture "$arch"; done
# Once a foreign architecture's copy of a library is installed, a bare package
# name is ambiguous to dpkg -s, so the check names the architecture: the one
# given after ":", else the machine's own, or "all".
installed() {
  local name=${1%%:*} arch=${1#*:}
  [ "$arch" != "$1" ] || arch=$(dpkg --print-architecture)
  dpkg-query -W -f='${Architecture} ${db:Status-Status}\n' "$name" 2>/dev/null | grep -Eqx "($arch|all) installed"
}
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ] || [ ${#newArchitectures[@]} -gt 0 ]; then
  # One index that fails to download (a mirror caught mid-sync, say) must not
  # stop the install of packages the other lists hold; a package that is
  # truly missing still fails the install below.
  apt-get update -qq || echo "apt-get update failed; installing from the package lists at hand" >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi
