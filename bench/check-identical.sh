#!/bin/sh
# Proves that a decoder change leaves every output sample as it was: decodes
# every test stream (tests/data/test-streams.txt) and every sample song with
# sorvil-decode, frame by frame and through the MP3 stream and its poll, and
# compares the md5 of each PCM with the committed manifest
# bench/pcm-baseline.md5.
#
#   bench/check-identical.sh [BUILD_DIR]            compare (exit 1 on any difference)
#   bench/check-identical.sh --write [BUILD_DIR]    rewrite the manifest (only from
#                                                   a build whose output is trusted)
#
# BUILD_DIR defaults to build-bench beside this script's folder; sorvil-decode
# is built there if it is missing or out of date.
set -eu
export LC_ALL=C  # one file order whatever the locale

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
write=no
if [ "${1:-}" = "--write" ]; then
    write=yes
    shift
fi
build=${1:-$root/build-bench}
baseline=$here/pcm-baseline.md5

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DSORVIL_BENCH=ON >/dev/null
fi
cmake --build "$build" --target sorvil-decode -- -j2 >/dev/null
decode=$build/tools/sorvil-decode

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# One line per stream and path: md5 of the PCM (or "decode-failed") and the
# file, the frame path's lines first, then the stream path's (marked so).
cd "$root"
listed=$(sed -e 's/#.*//' tests/data/test-streams.txt | awk 'NF { print "tests/data/" $1 }')
for path in --frames --stream; do
    for file in $listed samples/*/*; do
        [ -f "$file" ] || continue
        if "$decode" "$path" "$file" "$work/pcm" 2>/dev/null; then
            sum=$(md5sum < "$work/pcm" | cut -d' ' -f1)
        else
            sum=decode-failed
        fi
        if [ "$path" = --frames ]; then
            printf '%s  %s\n' "$sum" "$file"
        else
            printf '%s  %s (through the stream)\n' "$sum" "$file"
        fi
    done
done > "$work/manifest"

if [ "$write" = yes ]; then
    cp "$work/manifest" "$baseline"
    echo "wrote $(wc -l < "$baseline") entries to $baseline"
    exit 0
fi
if diff -u "$baseline" "$work/manifest"; then
    echo "identical: $(wc -l < "$baseline") streams decode to the same PCM"
else
    echo "DIFFERENT: the PCM above no longer matches $baseline" >&2
    exit 1
fi
