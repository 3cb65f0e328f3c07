#!/usr/bin/env bash
# Installs what testing needs (when missing), builds, and runs the whole test suite:
#   0. the generated tables and test data checksums against what is committed;
#   1. the tests in an ordinary optimised build (build/);
#   2. the Windows programs cross-built with mingw-w64 against a static Allegro
#      and GoogleTest built first (build-windows/), their tests run under Wine,
#      and sorvil.exe compared with the Linux build (tests/e2e/windows_compare.sh);
#   3. a short run of every fuzz target (clang, sanitizers on; build-fuzz/);
#   4. the tests again with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/);
#   5. the Debian package built with the hardened flags and checked by lintian and
#      hardening-check, its tests not run a third time (build-package/).
# SORVIL_QUICK=1 runs only steps 0 and 1. Under CI (CI=true) compiler warnings
# fail the build.
set -euo pipefail
cd "$(dirname "$0")/../.."
tools/scripts/setup-debian.sh test

werror=-DSORVIL_WERROR=OFF
[ "${CI:-}" = true ] && werror=-DSORVIL_WERROR=ON

echo "== generated tables and test data (tools/scripts/check-tree.sh)"
tools/scripts/check-tree.sh

echo "== tests (build/)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVIL_TESTS=ON "$werror" >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j2

# Reached only when every test passed (set -e): one closing line for the lot.
testCount() { ctest --test-dir "$1" -N | awk '/Total Tests:/ { print $3 }'; }
if [ "${SORVIL_QUICK:-0}" = 1 ]; then
  echo "tests: $(testCount build) passed, 0 failed"
  exit 0
fi

echo "== Windows build, its tests under Wine, and sorvil.exe against the Linux build (build-windows/)"
tools/scripts/windows-deps.sh build-windows/deps
cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DSORVIL_WINDOWS_DEPS="$PWD/build-windows/deps" -DSORVIL_TESTS=ON "$werror" >/dev/null
# The build discovers the tests by running them, so Wine's prefix comes first.
[ -d build-windows/wineprefix ] || WINEPREFIX="$PWD/build-windows/wineprefix" WINEDEBUG=-all wineboot --init 2>/dev/null
cmake --build build-windows
ctest --test-dir build-windows --output-on-failure -j2
tests/e2e/windows_compare.sh build build-windows

echo "== fuzz targets, 20 s each (build-fuzz/)"
tools/scripts/fuzz.sh 20

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVIL_SANITIZE=ON -DSORVIL_TESTS=ON "$werror" >/dev/null
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j2

echo "== Debian package, checked by lintian and hardening-check (build-package/)"
DEB_BUILD_OPTIONS="nocheck ${DEB_BUILD_OPTIONS:-}" tools/scripts/build-package.sh
echo "tests: $(( $(testCount build) + $(testCount build-windows) + $(testCount build-asan) )) passed, 0 failed"
