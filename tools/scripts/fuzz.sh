#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for a bounded time, seeded
# from the project's own test files.
#   tools/scripts/fuzz.sh [SECONDS_PER_TARGET [TARGET...]]   (default 20 s, every target)
# SORVIL_FUZZ_BUILD names the build folder (default build-fuzz). Crashes are
# written to <build>/crashes/; corpora grow in <build>/corpus/.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-20}
build=${SORVIL_FUZZ_BUILD:-build-fuzz}
werror=-DSORVIL_WERROR=OFF
[ "${CI:-}" = true ] && werror=-DSORVIL_WERROR=ON  # CI fails on a compiler warning
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSORVIL_FUZZ=ON -DSORVIL_TESTS=OFF "$werror" >/dev/null
targets=${*:2}
[ -n "$targets" ] || targets=$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
cmake --build "$build" --target $targets
mkdir -p "$build/crashes"

seed() {  # seed corpus per target
  local target=$1 dir=$build/corpus/$1
  mkdir -p "$dir"
  case $target in
    fuzz_text_object) printf 'a\r\nb\nc' >"$dir/lines"; printf '' >"$dir/empty"; printf 'x\0y\rz' >"$dir/nul" ;;
    *) for f in $(sed -e 's/#.*//' tests/data/test-streams.txt | awk 'NF { print "tests/data/" $1 }'); do
         # The targets take their first byte as a setting, the rest as the stream.
         [ -f "$f" ] && { printf '\003'; head -c 12000 "$f"; } >"$dir/$(basename "$f")"
       done ;;
  esac
  echo "$dir"
}

status=0
for target in $targets; do
  corpus=$(seed "$target")
  echo "== $target for ${seconds}s"
  if ! "$build/tests/fuzz/$target" "$corpus" -max_total_time="$seconds" -max_len=65536 -timeout=25 \
       -artifact_prefix="$build/crashes/$target-" -print_final_stats=0 2>"$build/$target.log"; then
    echo "$target: FAILED, see $build/$target.log and $build/crashes/"
    tail -30 "$build/$target.log"
    status=1
  else
    grep -E '^#[0-9]+.*(DONE|pulse)' "$build/$target.log" | tail -1 || true
  fi
done
exit $status
