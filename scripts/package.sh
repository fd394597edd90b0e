#!/usr/bin/env bash
# Builds the Debian packages build/packages/nodeconsole_VERSION_ARCH.deb for
# amd64, arm64 and armhf (or for the architectures given), each with Debian's
# own compiler for that architecture, and checks each one: lintian (no error,
# and every warning explained in packaging/lintian-warnings.txt), Depends naming
# libsodium and libsqlite3, and the man page rendering. With --tests, the C++
# tests are built in the same folder with the same flags, so that the code is
# compiled once, and run with CTest (under qemu for another architecture).
#   scripts/package.sh [--tests] [amd64] [arm64] [armhf]
set -euo pipefail
cd "$(dirname "$0")/.."
tests=OFF
if [ "${1:-}" = --tests ]; then tests=ON; shift; fi
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(amd64 arm64 armhf)
scripts/install-deps.sh package "${arches[@]}"

: "${NODECONSOLE_MAINTAINER:=nodeconsole developers <nodeconsole@example.org>}"
root=$PWD/build/package
out=$PWD/build/packages
mkdir -p "$root" "$out"
uiDist=$(scripts/build-ui.sh)
native=$(dpkg --print-architecture)
failed=()

toolchainFor() {
  case $1 in
    arm64) echo "$PWD/cmake/toolchains/aarch64-linux-gnu.cmake" ;;
    armhf) echo "$PWD/cmake/toolchains/arm-linux-gnueabihf.cmake" ;;
    *) echo "no toolchain file for $1" >&2; return 1 ;;
  esac
}

# Debian's compiler and linker flags for an architecture, with all hardening.
# Without -g: the binary is stripped and no debug symbols package is made, so
# the debug information would only cost compile time (about 60% more).
buildFlags() {
  DEB_HOST_ARCH=$1 DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g \
    dpkg-buildflags --get "$2"
}

# Compiles and installs into $root/$arch/stage with Debian's hardening flags.
buildAndStage() {
  local arch=$1 dir=$root/$1 toolchain=()
  [ "$arch" = "$native" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="$(toolchainFor "$arch")")
  cmake -S . -B "$dir/build" -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release -DNODECONSOLE_TESTS=$tests \
    -DCMAKE_INSTALL_PREFIX=/usr -DNODECONSOLE_UI_DIST="$uiDist" \
    -DCMAKE_CXX_FLAGS="$(buildFlags "$arch" CPPFLAGS) $(buildFlags "$arch" CXXFLAGS)" \
    -DCMAKE_C_FLAGS="$(buildFlags "$arch" CPPFLAGS) $(buildFlags "$arch" CFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(buildFlags "$arch" LDFLAGS)" >/dev/null
  cmake --build "$dir/build" -j 2
  rm -rf "$dir/stage"
  DESTDIR="$dir/stage" cmake --install "$dir/build" >/dev/null
  local strip
  strip=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$dir/build/CMakeCache.txt")
  "$strip" --remove-section=.comment --remove-section=.note --strip-unneeded "$dir/stage/usr/bin/nodeconsole"
}

# The exact shared libraries the program needs, as package dependencies.
sharedLibraryDepends() {
  local arch=$1 binary=$2 work
  work=$(mktemp -d)
  mkdir "$work/debian"
  printf 'Source: nodeconsole\n\nPackage: nodeconsole\nArchitecture: any\n' > "$work/debian/control"
  (cd "$work" && DEB_HOST_ARCH=$arch dpkg-shlibdeps -O "$binary") | sed -n 's/^shlibs:Depends=//p'
  rm -rf "$work"
}

writeDebianFiles() {
  local arch=$1 stage=$root/$1/stage version=$2
  local doc=$stage/usr/share/doc/nodeconsole date
  date=$(date -R -u -d "@$(git log -1 --format=%ct 2>/dev/null || date +%s)")
  mkdir -p "$doc" "$stage/DEBIAN"
  cp packaging/debian/copyright "$doc/"
  sed -e "s/@VERSION@/$version/" -e "s/@MAINTAINER@/$NODECONSOLE_MAINTAINER/" -e "s/@DATE@/$date/" \
    packaging/debian/changelog.in | gzip -9n > "$doc/changelog.gz"
  find "$stage" -type d -exec chmod 0755 {} +
  find "$stage" -type f -exec chmod 0644 {} +
  chmod 0755 "$stage/usr/bin/nodeconsole"
  cp packaging/debian/postinst packaging/debian/prerm packaging/debian/postrm packaging/debian/conffiles "$stage/DEBIAN/"
  chmod 0755 "$stage/DEBIAN/postinst" "$stage/DEBIAN/prerm" "$stage/DEBIAN/postrm"
  (cd "$stage" && find . -type f ! -path './DEBIAN/*' -printf '%P\0' | LC_ALL=C sort -z | xargs -0 md5sum) \
    > "$stage/DEBIAN/md5sums"
  local depends size
  depends=$(sharedLibraryDepends "$arch" "$stage/usr/bin/nodeconsole")
  size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
  sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@MAINTAINER@/$NODECONSOLE_MAINTAINER/" \
    -e "s/@INSTALLED_SIZE@/$size/" -e "s/@DEPENDS@/$depends/" packaging/debian/control.in > "$stage/DEBIAN/control"
}

# lintian errors fail the build, and so does a warning without its reason.
checkPackage() {
  local deb=$1 report=$out/lintian-$2.txt
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  [[ $depends == *libsodium* && $depends == *libsqlite3* ]] || { echo "Depends lacks libsodium or libsqlite3: $depends" >&2; return 1; }
  dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/man/man8/nodeconsole.8.gz | gunzip \
    | MANWIDTH=80 man --warnings -l - 2>&1 >/dev/null | { ! grep .; } || { echo "the man page does not render cleanly" >&2; return 1; }
  lintian --info --display-level '>=warning' "$deb" > "$report" 2>&1 || true
  cat "$report"
  if grep -q '^E: ' "$report"; then echo "lintian reports errors for $deb" >&2; return 1; fi
  local tag
  for tag in $(sed -n 's/^W: [^:]*: \([^ ]*\).*/\1/p' "$report" | sort -u); do
    grep -q "^$tag:" packaging/lintian-warnings.txt || { echo "lintian warning $tag has no reason in packaging/lintian-warnings.txt" >&2; return 1; }
  done
}

for arch in "${arches[@]}"; do
  echo "== $arch"
  buildAndStage "$arch"
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/$arch/build/CMakeCache.txt")
  writeDebianFiles "$arch" "$version"
  deb=$out/nodeconsole_${version}_${arch}.deb
  dpkg-deb --root-owner-group -Zxz --build "$root/$arch/stage" "$deb" >/dev/null
  checkPackage "$deb" "$arch"
  echo "$deb: $(stat -c %s "$deb") bytes, installed size $(dpkg-deb -f "$deb" Installed-Size) KiB"
  echo "  Depends: $(dpkg-deb -f "$deb" Depends)"
  if [ $tests = ON ]; then
    # Every architecture runs and shows its times, even after another's failures.
    started=$(date +%s)
    (cd "$root/$arch/build" && ctest --output-on-failure -j 2) || failed+=("$arch")
    echo "$arch: tests ran in $(($(date +%s) - started)) s"
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "tests failed on: ${failed[*]}" >&2; exit 1; }
