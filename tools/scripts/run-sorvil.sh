#!/usr/bin/env bash
# Installs what running needs (when missing), builds sorvil with the other
# programs and the manual pages, and runs it with the same arguments as the
# program:
#   tools/scripts/run-sorvil.sh [nocopy] [FOLDER]
# Without FOLDER it runs on a temporary copy of the sample collection
# (samples/), so the project tree stays clean; the copy is removed at the end
# unless SORVIL_KEEP_SAMPLES=1. Shows the console output, the exit status,
# songlist.ini and the music folder.
# SORVIL_BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
project=$(cd "$(dirname "$0")/../.." && pwd)
build="${SORVIL_BUILD_DIR:-$project/build}"
case "$build" in /*) ;; *) build="$project/$build" ;; esac

"$project/tools/scripts/setup-debian.sh" run
# A new build folder leaves the tests out even where GoogleTest is installed;
# one the test command made keeps them.
tests=()
[ -f "$build/CMakeCache.txt" ] || tests=(-DSORVIL_TESTS=OFF)
cmake -S "$project" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${tests[@]}" >/dev/null
# The default target: the programs and their manual pages, all that
# cmake --install needs.
cmake --build "$build"

arguments=("$@")
for argument in "$@"; do
  # Help, version and refusals come from the program itself.
  case "$argument" in -?*) exec "$build/sorvil" "$@" ;; esac
done
words=$#
[ $# -gt 0 ] && [ "${1,,}" = nocopy ] && words=$((words - 1))
if [ "$words" -eq 0 ]; then
  folder=$(mktemp -d "${TMPDIR:-/tmp}/sorvil-samples-XXXXXX")
  if [ "${SORVIL_KEEP_SAMPLES:-0}" = 1 ]; then
    echo "== the sample copy stays in $folder"
  else
    trap 'rm -rf "$folder"' EXIT
  fi
  cp -R "$project/samples/." "$folder/"
  arguments+=("$folder")
else
  folder=${!#}
fi

echo "== sorvil ${arguments[*]}"
status=0
"$build/sorvil" "${arguments[@]}" || status=$?
echo "== exit status $status"
if [ "$status" -ne 2 ] && [ -f "$folder/songlist.ini" ]; then
  echo "== $folder/songlist.ini (lines end with CR LF)"
  tr -d '\r' <"$folder/songlist.ini"
fi
if [ "$status" -ne 2 ] && [ -d "$folder/music" ]; then
  echo "== $folder/music"
  ls -l "$folder/music"
fi
exit $status
