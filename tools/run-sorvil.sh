#!/usr/bin/env bash
# Installs what is missing, builds sorvil, and runs it in FOLDER, or, with no
# folder given, in a temporary copy of the sample collection (samples/), so
# the project tree stays clean. Shows the console output and songlist.ini.
#   tools/run-sorvil.sh [FOLDER] [nocopy]
# SORVIL_BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
project=$(cd "$(dirname "$0")/.." && pwd)
build="${SORVIL_BUILD_DIR:-$project/build}"
case "$build" in /*) ;; *) build="$project/$build" ;; esac

folder=""
if [ $# -gt 0 ] && [ -d "$1" ]; then
  folder=$(cd "$1" && pwd)
  shift
elif [ $# -gt 0 ] && [ "${1,,}" != "nocopy" ]; then
  echo "run-sorvil: no folder named '$1'" >&2
  exit 2
fi

"$project/tools/setup-debian.sh"
cmake -S "$project" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target sorvil

if [ -z "$folder" ]; then
  folder=$(mktemp -d "${TMPDIR:-/tmp}/sorvil-samples-XXXXXX")
  cp -R "$project/samples/." "$folder/"
fi

echo "== sorvil $* (in $folder)"
status=0
(cd "$folder" && "$build/sorvil" "$@") || status=$?
echo "== exit status $status"
if [ -f "$folder/songlist.ini" ]; then
  echo "== $folder/songlist.ini (lines end with CR LF)"
  tr -d '\r' < "$folder/songlist.ini"
fi
if [ -d "$folder/music" ]; then
  echo "== $folder/music"
  ls -l "$folder/music"
fi
exit $status
