#!/usr/bin/env bash
# Makes the Windows release, sorvil-VERSION-windows-x86_64.zip in the top
# folder (VERSION: CMakeLists.txt's project version): the four programs,
# x86_64, statically linked (no DLL beside them), cross-built in
# build-windows/ with mingw-w64 against the static Allegro and GoogleTest of
# tools/scripts/windows-deps.sh; README.md, LICENSE, and each program's
# manual page as text (manual/PROGRAM.txt), rendered from the Linux build's
# pages (build/doc/), all with CR LF line ends.
#   tools/scripts/build-windows.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
version=$(sed -n 's/^project(sorvil VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=sorvil-$version-windows-x86_64
programs=(sorvil sorvil-decode sorvil-compare sorvil-play)

tools/scripts/windows-deps.sh build-windows/deps
cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DSORVIL_WINDOWS_DEPS="$PWD/build-windows/deps" >/dev/null
cmake --build build-windows --target "${programs[@]}"

# The manual pages are made by running the programs: the Linux build's.
tools/scripts/setup-debian.sh run
command -v man >/dev/null || tools/scripts/setup-debian.sh test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target manual-pages

stage=build-windows/release/$name
rm -rf build-windows/release
mkdir -p "$stage/manual"
for program in "${programs[@]}"; do
  exe=build-windows/$program.exe
  [ -f "$exe" ] || exe=build-windows/tools/$program.exe
  # Debugging information stays out of what users take.
  x86_64-w64-mingw32-strip -o "$stage/$program.exe" "$exe"
  MANWIDTH=80 man --nh --nj -l "build/doc/$program.1" 2>/dev/null | col -bx >"$stage/manual/$program.txt"
done
cp README.md LICENSE "$stage/"
for text in "$stage"/README.md "$stage"/LICENSE "$stage"/manual/*.txt; do sed -i 's/\r*$/\r/' "$text"; done
rm -f "$name.zip"
(cd build-windows/release && zip -q -r -X "../../$name.zip" "$name")
echo "build-windows: $name.zip"
