#!/usr/bin/env bash
# Builds what the Windows programs link, for mingw-w64 x86_64, into PREFIX
# (default build-windows/deps): a static Allegro 4.4.3.1 from Debian's source
# package and GoogleTest from Debian's googletest sources. Installs the cross
# compilers and Wine first (tools/scripts/setup-debian.sh windows). Does
# nothing for what PREFIX already holds.
#   tools/scripts/windows-deps.sh [PREFIX]
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
prefix=$(realpath -m "${1:-build-windows/deps}")
toolchain=$top/cmake/mingw-w64-x86_64.cmake
work=$prefix/src
mkdir -p "$work"
tools/scripts/setup-debian.sh windows

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

# Debian's source package of Allegro 4.4: the .dsc names the upstream
# tarball's sha256, which is checked before a byte of it is used. Only the
# .dsc and the tarball are needed (Debian's own patches are for its packages).
fetch_allegro() {
  if ! apt-get source --print-uris allegro4.4 >/dev/null 2>&1 ||
     [ -z "$(apt-get source --print-uris allegro4.4 2>/dev/null | grep orig)" ]; then
    echo "windows-deps: adding Debian's source index (deb-src) to fetch allegro4.4" >&2
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
      "${as_root[@]}" tee /etc/apt/sources.list.d/sorvil-deb-src.sources >/dev/null
    "${as_root[@]}" apt-get update -qq
  fi
  (cd "$work" && apt-get source --download-only allegro4.4 >/dev/null 2>&1 || true)
  local dsc tarball expected actual
  dsc=$(ls "$work"/allegro4.4_*.dsc | head -n 1)
  tarball=$(ls "$work"/allegro4.4_*.orig.tar.gz | head -n 1)
  expected=$(awk '/^Checksums-Sha256:/ { on = 1; next } on && /orig\.tar\.gz$/ { print $1; exit }' "$dsc")
  actual=$(sha256sum "$tarball" | cut -d' ' -f1)
  if [ -z "$expected" ] || [ "$expected" != "$actual" ]; then
    echo "windows-deps: $tarball does not have the sha256 its .dsc names" >&2
    exit 1
  fi
  rm -rf "$work/allegro"
  mkdir -p "$work/allegro"
  tar -xzf "$tarball" -C "$work/allegro" --strip-components=1
}

build_allegro() {
  fetch_allegro
  cmake -S "$work/allegro" -B "$work/allegro-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DSORVIL_WINDOWS_DEPS="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DSHARED=off -DWANT_ALLEGROGL=off -DWANT_LOADPNG=off -DWANT_LOGG=off -DWANT_JPGALLEG=off \
    -DWANT_EXAMPLES=off -DWANT_TOOLS=off -DWANT_TESTS=off -DWANT_DOCS=off >/dev/null
  cmake --build "$work/allegro-build"
  cmake --install "$work/allegro-build" >/dev/null
  # Allegro writes its pkg-config file only on Unix.
  mkdir -p "$prefix/lib/pkgconfig"
  cat >"$prefix/lib/pkgconfig/allegro.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: allegro
Description: Allegro 4.4, static, for Windows
Version: 4.4.3.1
Cflags: -I\${includedir} -DALLEGRO_STATICLINK -DALLEGRO_NO_MAGIC_MAIN
Libs: -L\${libdir} -lalleg -lkernel32 -luser32 -lgdi32 -lcomdlg32 -lole32 -ldinput -lddraw -ldxguid -lwinmm -ldsound
PC
}

build_googletest() {
  cmake -S /usr/src/googletest -B "$work/googletest-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DSORVIL_WINDOWS_DEPS="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$work/googletest-build"
  cmake --install "$work/googletest-build" >/dev/null
}

[ -f "$prefix/lib/liballeg.a" ] && [ -f "$prefix/lib/pkgconfig/allegro.pc" ] || build_allegro
[ -f "$prefix/lib/libgtest.a" ] || build_googletest
echo "windows-deps: Allegro and GoogleTest for Windows are in $prefix"
