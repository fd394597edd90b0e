#!/usr/bin/env bash
# Installs what building, running and testing nodeconsole needs on Debian 12,
# clang with its runtimes and symbolizer for the fuzz targets among them.
# With the argument "bench", also the benchmark's load generator, the
# servers it is compared with and testssl.sh, which bench/tls_scan.sh runs. With "package" followed by architectures (amd64, arm64,
# armhf), also what building the Debian packages and running the tests under
# emulation need: for each foreign architecture Debian's cross compiler, its
# multiarch libraries and the user-mode emulator.
set -euo pipefail
repository=$(cd "$(dirname "$0")/.." && pwd)
# zlib1g-dev and libbrotli-dev serve one test, which decodes the embedded
# compressed copies of the web UI; the service itself never decodes.
# prometheus (the server and promtool) serves the test that a real Prometheus
# scrapes /metrics; the test runs its own server on a free loopback port. Where
# systemd runs, the package also starts Debian's own on port 9090.
# openssl and curl serve the TLS tests as real clients.
packages=(build-essential cmake ninja-build pkg-config libasio-dev nlohmann-json3-dev libsodium-dev
          libsqlite3-dev libssl-dev libgtest-dev googletest python3 chromium scdoc man-db
          clang libclang-rt-14-dev llvm-14 zlib1g-dev libbrotli-dev prometheus openssl curl)
# The web UI is built with Node.js and npm. A machine that already has a
# Node.js of its own keeps it: Debian's npm package would conflict with it.
command -v node >/dev/null 2>&1 || packages+=(nodejs npm)
if [ "${1:-}" = bench ]; then packages+=(wrk nginx lighttpd h2o valgrind strace testssl.sh); fi
newArchitectures=()
if [ "${1:-}" = package ]; then
  packages+=(lintian dpkg-dev systemd)
  native=$(dpkg --print-architecture)
  for arch in "${@:2}"; do
    [ "$arch" != "$native" ] || continue
    dpkg --print-foreign-architectures | grep -qx "$arch" || newArchitectures+=("$arch")
    packages+=("crossbuild-essential-$arch" "libsodium-dev:$arch" "libsqlite3-dev:$arch" "libssl-dev:$arch" "libgtest-dev:$arch"
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
# A foreign architecture's development package can be out of reach while its
# runtime library is not: libsqlite3-dev pulls in that architecture's libc6-dev
# and kernel headers, which multiarch holds at the machine's own version, and
# libssl-dev asks for exactly its own version of libssl3, which a security
# update may have moved on. A mirror caught mid-sync, or one architecture's
# index that fails to download, then leaves nothing installable. The cross
# compiler brings its own C library headers, so the build needs only the
# library's own files: they are unpacked under build/cross-root/TRIPLET (where
# the toolchain files look), pkg-config's files pointing there, and the runtime
# library is installed as a package. Each row: development package, runtime
# package, a header that shows the unpack is done.
unpackable=("libsqlite3-dev libsqlite3-0 sqlite3.h" "libssl-dev libssl3 openssl/ssl.h")
unpackRow() {
  local row
  for row in "${unpackable[@]}"; do
    [ "${row%% *}" != "$1" ] || { echo "$row"; return 0; }
  done
  return 1
}
crossRoot() { echo "$repository/build/cross-root/$(dpkg-architecture -a "$1" -qDEB_HOST_MULTIARCH)"; }
unpackDevelopment() {
  local dev=$1 runtime=$2 arch=$3 root download
  root=$(crossRoot "$arch")
  download=$(mktemp -d)
  # The runtime package of the development package's own version: only linking
  # reads it; the program runs with the installed one, of the same soname.
  (cd "$download" && apt-get download -qq -o APT::Sandbox::User=root "$dev:$arch" \
    "$runtime:$arch=$(apt-cache show --no-all-versions "$dev:$arch" | sed -n 's/^Version: //p' | head -1)")
  mkdir -p "$root"
  for deb in "$download"/*.deb; do dpkg-deb -x "$deb" "$root"; done
  rm -rf "$download"
  sed -i "s|^prefix=.*|prefix=$root/usr|" "$root"/usr/lib/*/pkgconfig/*.pc
  echo "$dev:$arch could not be installed; its files are unpacked in $root" >&2
}
installWithUnpackedDevelopment() {
  local again=() unpack=() p row
  for p in "${missing[@]}"; do
    if row=$(unpackRow "${p%%:*}") && [ "${p#*:}" != "$p" ]; then
      read -r -a row <<<"$row"
      again+=("${row[1]}:${p#*:}")
      unpack+=("${row[0]} ${row[1]} ${p#*:}")
    else
      again+=("$p")
    fi
  done
  [ ${#unpack[@]} -gt 0 ] || return 1
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${again[@]}"
  for p in "${unpack[@]}"; do unpackDevelopment $p; done
}
developmentUnpacked() {
  local row
  [ "${1#*:}" != "$1" ] && row=$(unpackRow "${1%%:*}") && command -v dpkg-architecture >/dev/null &&
    [ -f "$(crossRoot "${1#*:}")/usr/include/${row##* }" ]
}
missing=()
for p in "${packages[@]}"; do installed "$p" || developmentUnpacked "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ] || [ ${#newArchitectures[@]} -gt 0 ]; then
  # One index that fails to download (a mirror caught mid-sync, say) must not
  # stop the install of packages the other lists hold; a package that is
  # truly missing still fails the install below.
  apt-get update -qq || echo "apt-get update failed; installing from the package lists at hand" >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" || installWithUnpackedDevelopment
fi
