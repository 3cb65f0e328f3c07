#!/usr/bin/env bash
# sorvil on a collection of real-size songs, against the mutagen listing and cp:
#
#   bench/collection.sh [BUILD_DIR] [OPTIONS of bench/collection.py]
#                                        (default BUILD_DIR: build-bench in the project)
#
# Builds sorvil and the signal writer in BUILD_DIR (-DSORVIL_BENCH=ON, the
# project's default build type and flags), then makes at run time, in a scratch
# folder under ${TMPDIR:-/tmp} that is removed at the end, a collection of
# SORVIL_BENCH_SONGS songs (default 1,000: 4.6 GB) and reports, medians of
# alternated runs:
#   - `sorvil nocopy` against a one-process mutagen listing, cold and warm cache;
#   - `sorvil; sync` (copy) against `cp -r; sync`, cold;
#   - copy-mode re-runs against `sorvil nocopy`, cold: nothing changed, a new
#     first artist of one song, an artist of 10 songs removed from the middle,
#     an artist folder renamed, each with the copies it wrote;
#   - the system calls a song of one nocopy run (strace -c -f);
#   - nocopy's time a song for 1, 5 and 50 MB songs (100 each), and for 1,000
#     against 10,000 songs of 1 MB (10 GB);
#   - the peak memory of each;
#   - with the part "albums" (not run by default), `sorvil nocopy` over
#     1,000 small songs in album folders (10 albums of 10 songs to an artist)
#     against the same songs directly in the artist folders, cold (as root:
#     every cache dropped, folder entries and inodes too) and warm.
# It ends with markdown tables to paste into doc/performance.md, naming the machine.
# SORVIL_BENCH_RUNS sets the runs per figure (default 3), SORVIL_BENCH_PARTS
# "main", "growth", "albums" or several, comma-separated (default
# "main,growth"). The encoded songs are kept in /tmp/sorvil-bench-songs for
# later runs. Needs about 12 GB free in the scratch
# folder; the work runs under nice.
# Needs cmake, ninja, Google Benchmark, python3 with mutagen, lame and strace
# (tools/scripts/setup-debian.sh bench, run first, installs the missing ones).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
    build=$1
    shift
fi
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac

"$root/tools/scripts/setup-debian.sh" bench
for tool in cmake ninja python3 lame; do
    command -v "$tool" >/dev/null || { echo "bench/collection.sh: $tool is not installed" >&2; exit 1; }
done
# The Debian package installs mutagen for the system's python3, which need not
# be the first python3 on the PATH.
mutagen_python=
for python in python3 /usr/bin/python3; do
    if "$python" -c 'import mutagen' 2>/dev/null; then mutagen_python=$(command -v "$python"); break; fi
done
[ -n "$mutagen_python" ] || { echo "bench/collection.sh: no python3 with mutagen" >&2; exit 1; }

echo "== building in $build"
cmake -S "$root" -B "$build" -G Ninja -DSORVIL_BENCH=ON >/dev/null
nice cmake --build "$build" --target sorvil bench_write_signal -- -j2 >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/sorvil-collection-XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
revision=$(git -C "$root" describe --always --dirty 2>/dev/null || echo unknown)

nice python3 "$root/bench/collection.py" --sorvil "$build/sorvil" --signal-writer "$build/bench/bench_write_signal" \
    --mutagen-python "$mutagen_python" --work "$work" --sources /tmp/sorvil-bench-songs --revision "$revision" \
    --runs "${SORVIL_BENCH_RUNS:-3}" --songs "${SORVIL_BENCH_SONGS:-1000}" \
    --parts "${SORVIL_BENCH_PARTS:-main,growth}" "$@"
