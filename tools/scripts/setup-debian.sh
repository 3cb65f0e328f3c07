#!/usr/bin/env bash
# Installs the Debian 12 packages that one purpose needs, when some are missing:
#   tools/scripts/setup-debian.sh [run | test | bench | package | windows]   (default: run)
#   run    building and running the tool: compiler, CMake, Ninja, pkg-config,
#          Allegro 4's development package and help2man (the manual pages)
#   test   run's packages, GoogleTest and GoogleMock, clang with its fuzzer and
#          sanitizer runtime, python3 and the encoders the test data scripts
#          use, the virtual X server the playback test runs under, man (the
#          manual pages are rendered), strace for the fault-injection check,
#          and the card's file systems: dosfstools with fusefat (FAT32),
#          exfatprogs with exfat-fuse (exFAT) and ntfs-3g (NTFS)
#   bench  run's packages, Google Benchmark, python3 with mutagen, the
#          encoders and strace
#   package  the Debian package build (tools/scripts/build-package.sh): run's
#          packages, build-essential, debhelper, dpkg-dev, lintian, devscripts
#          (hardening-check), git, and what the package's test suite needs
#   windows  the Windows cross build (tools/scripts/windows-deps.sh): the
#          mingw-w64 x86_64 compilers of the posix thread model, Wine to run
#          the programs and tests, CMake, Ninja, pkg-config, GoogleTest's
#          sources, zip (the release archive) and dpkg-dev (apt-get source
#          fetches Allegro's source package); no recommended packages
# With every package present it changes nothing and needs no network. As root
# it runs apt-get, otherwise through sudo; with neither it names the missing
# packages and the apt-get line that installs them, and exits 1.
set -euo pipefail

run_packages=(g++ cmake ninja-build pkg-config liballegro4-dev help2man)
# The clang runtime package is named: it otherwise comes only as a recommended
# package, which a machine may be set not to install.
test_packages=(libgtest-dev libgmock-dev googletest clang libclang-rt-14-dev python3 lame twolame ffmpeg man-db
               xvfb xauth strace dosfstools fusefat exfatprogs exfat-fuse ntfs-3g)
bench_packages=(libbenchmark-dev python3 python3-mutagen lame twolame ffmpeg strace)
# debian/control's Build-Depends, with the tools that build and check the package.
windows_packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
                  wine wine64 cmake ninja-build pkg-config googletest zip dpkg-dev)
package_packages=(build-essential debhelper dpkg-dev lintian devscripts git pkgconf libgtest-dev libgmock-dev python3
                  man-db xvfb xauth strace)

install_options=()
case "${1:-run}" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  bench) packages=("${run_packages[@]}" "${bench_packages[@]}") ;;
  package) packages=("${run_packages[@]}" "${package_packages[@]}") ;;
  windows) packages=("${windows_packages[@]}"); install_options=(--no-install-recommends) ;;
  *) echo "Usage: tools/scripts/setup-debian.sh [run | test | bench | package | windows]" >&2; exit 2 ;;
esac

if ! command -v dpkg-query >/dev/null; then
  echo "setup-debian: not a Debian system; install the equivalents of these by hand (see doc/development.md):" >&2
  echo "  ${packages[*]}" >&2
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  echo "setup-debian: missing packages: ${missing[*]}" >&2
  echo "Install them as root, then run this again:" >&2
  echo "  apt-get install -y ${missing[*]}" >&2
  exit 1
fi
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${install_options[@]}" "${missing[@]}"
