#!/usr/bin/env bash
# The project's speed and memory figures, in one run:
#
#   bench/run.sh [BUILD_DIR]        (default BUILD_DIR: build-bench in the project)
#
# Builds the benchmark folder (-DSORVIL_BENCH=ON, the project's default build
# type and flags), makes the three 4-minute test files in /tmp with twolame and
# lame (through the layer II and layer III benchmark programs, which keep them
# there for later runs), and reports:
#   - the whole-process CPU time of `sorvil-decode IN OUT` for layer II, layer
#     III at 128 kbit/s and layer III VBR, against `ffmpeg -threads 1`
#     decoding the same file to raw PCM in a file beside it, the two run in
#     turn; beside them the decoder's own speed from the in-process harness;
#   - the time of `sorvil` and `sorvil nocopy` over a collection of 500 songs
#     by 20 artists (copies of the project's small encoded songs, made in a
#     scratch folder) against `cp -r` of the same collection;
#   - the peak memory (max RSS) of each.
# It ends with a table to paste into doc/performance.md, naming the machine.
# SORVIL_BENCH_RUNS sets the measured runs per figure (default 7; medians).
# Needs cmake, ninja, Google Benchmark, python3, twolame, lame and ffmpeg
# (tools/scripts/setup-debian.sh bench, run first, installs the missing ones).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
runs=${SORVIL_BENCH_RUNS:-7}

"$root/tools/scripts/setup-debian.sh" bench
for tool in cmake ninja python3 twolame lame ffmpeg; do
    command -v "$tool" >/dev/null || { echo "bench/run.sh: $tool is not installed" >&2; exit 1; }
done

echo "== building in $build"
cmake -S "$root" -B "$build" -G Ninja -DSORVIL_BENCH=ON >/dev/null
cmake --build "$build" --target sorvil sorvil-decode bench_decode_layer2 bench_decode_layer3 -- -j2 >/dev/null

layer2=/tmp/sorvil-bench-layer2-192k.mp2
layer3=/tmp/sorvil-bench-layer3-128k.mp3
layer3vbr=/tmp/sorvil-bench-layer3-vbr.mp3
if [ ! -s "$layer2" ] || [ ! -s "$layer3" ] || [ ! -s "$layer3vbr" ]; then
    echo "== making the 4-minute test files (once per machine)"
    "$build/bench/bench_decode_layer2" --benchmark_filter=DecodeInProcess >/dev/null
    "$build/bench/bench_decode_layer3" --benchmark_filter='BM_Decode(Vbr)?File' >/dev/null
fi
for file in "$layer2" "$layer3" "$layer3vbr"; do
    [ -s "$file" ] || { echo "bench/run.sh: could not make $file" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/sorvil-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

shopt -s nullglob nocaseglob
songs=("$root"/tests/data/encoded/*.mp3 "$root"/samples/*/*.mp3)
shopt -u nocaseglob
python3 "$root/bench/measure.py" --build "$build" --work "$work" --layer2 "$layer2" --layer3 "$layer3" \
    --layer3-vbr "$layer3vbr" \
    --runs "$runs" --songs "${songs[@]}"
