#!/usr/bin/env bash
# The Windows build against the Linux build: sorvil.exe under Wine and the
# Linux sorvil run over the same collections (the samples, and one of names
# Windows can hold: album folders, non-ASCII names, a reserved device name, a
# path longer than 260 characters), in both modes, a second time (every copy
# kept) and a third after a change (a new first artist moves the copies, a
# song gone prunes its own), and must print the same console text (line ends
# aside) and leave the same songlist.ini and copies, byte for byte. The run's own records of its copies
# and its lock (.sorvil-*) hold each system's file identities and are not
# compared.
#   tests/e2e/windows_compare.sh LINUX_BUILD WINDOWS_BUILD
set -euo pipefail
source=$(cd "$(dirname "$0")/../.." && pwd)
linux=$(realpath "$1")/sorvil
windows=$(realpath "$2")/sorvil.exe
export WINEPREFIX=${WINEPREFIX:-$(realpath "$2")/wineprefix} WINEDEBUG=-all
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT

song() { cp "$source/samples/Aurora Lane/Morning Light.mp3" "$1"; }
makeNamesCollection() {
    local top=$1 long
    mkdir -p "$top/Ærø Quartet/Live in Tórshavn" "$top/Ærø Quartet/Studio" "$top/日本の歌手" "$top/Plain"
    song "$top/Ærø Quartet/Opening.mp3"
    song "$top/Ærø Quartet/Live in Tórshavn/Ça va.mp3"
    song "$top/Ærø Quartet/Studio/Naïve.mp3"
    song "$top/日本の歌手/さくら.mp3"
    song "$top/Plain/aux.mp3"
    mkdir -p "$top/Dots./Album." "$top/Space /CD "
    song "$top/Dots./Album./End. .mp3"
    song "$top/Space /CD /Track .mp3"
    cp "$source/samples/Cobalt Sky/Song.MP3" "$top/Plain/Loud.MP3"
    long=$(printf 'Long Album Name %.0s' {1..8})
    long=${long% }   # 127 characters a folder
    mkdir -p "$top/Plain/$long/$long"
    song "$top/Plain/$long/$long/A song whose path is longer than two hundred and sixty characters.mp3"
}

# A new artist before every other, and the last song (by name) gone.
changeCollection() {
    local top=$1 last
    mkdir "$top/Aaa New"
    song "$top/Aaa New/First.mp3"
    last=$(cd "$top" && find . -path ./music -prune -o -iname '*.mp3' -print | LC_ALL=C sort | tail -n 1)
    rm "$top/$last"
}

failures=0
# Runs both builds in copies of the collection made by `$2 FOLDER`, with
# the arguments after it, twice, then once more after changeCollection, and
# compares each time.
compare() {
    local name=$1 make=$2 system run
    shift 2
    for system in linux windows; do
        mkdir -p "$work/$name/$system"
        "$make" "$work/$name/$system"
    done
    for run in first second changed; do
        if [ "$run" = changed ]; then
            changeCollection "$work/$name/linux"
            changeCollection "$work/$name/windows"
        fi
        (cd "$work/$name/linux" && "$linux" "$@" >"$work/$name.linux.$run" 2>&1) || echo "status $?" >>"$work/$name.linux.$run"
        (cd "$work/$name/windows" && wine "$windows" "$@" >"$work/$name.windows.$run" 2>&1) ||
            echo "status $?" >>"$work/$name.windows.$run"
        sed -i 's/\r$//' "$work/$name.windows.$run"
        if ! diff -u "$work/$name.linux.$run" "$work/$name.windows.$run" ||
           ! diff -r -x '.sorvil-*' "$work/$name/linux" "$work/$name/windows"; then
            echo "windows_compare: $name, $run run: the Windows build differs from the Linux build" >&2
            failures=$((failures + 1))
        fi
    done
    rm -rf "${work:?}/$name"
}

samples() { cp -r "$source/samples/." "$1"; }
compare samples-copied samples
compare samples-in-place samples nocopy
compare names-copied makeNamesCollection
compare names-in-place makeNamesCollection nocopy
if [ "$failures" -ne 0 ]; then
    echo "windows_compare: $failures of 12 runs differ" >&2
    exit 1
fi
echo "windows_compare: 12 runs over 4 collections, the same console, list and copies from both builds"
