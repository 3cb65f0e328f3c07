#!/usr/bin/env bash
# Makes the sample collection in samples/: three artists with tiny songs,
# encoded by real encoders from a deterministic signal (a few tones), so the
# same tools give the same files. Needs python3, lame and twolame.
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
cd "$(dirname "$0")/../.."
out=samples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# tone RATE CHANNELS SECONDS HZ... -> signed 16-bit little-endian PCM on stdout:
# the tones one after another, equal parts, with a short fade at each end.
# This lame warns that its sound-file library may seek in raw input; the input
# is a plain file, so that is harmless and the warning is dropped.
quiet_lame() { lame "$@" 2> >(grep -v -e 'libsndfile' -e 'Compile without' >&2); }

tone() {
  python3 "$scripts/test_signal.py" notes "$@"
}

rm -rf "$out"
mkdir -p "$out/Aurora Lane" "$out/Brassworks" "$out/Cobalt Sky"

# MPEG-1 layer III, 44.1 kHz mono, variable bitrate (a Xing header with the frame count).
tone 44100 1 2 440 554.37 659.25 > "$work/a.raw"
quiet_lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m -V 9 --resample 44.1 "$work/a.raw" "$out/Aurora Lane/Morning Light.mp3"

# MPEG-2 layer III, 22.05 kHz mono, 24 kbit/s, with an ID3v2 tag; a space and a '#' in the name.
tone 22050 1 3 392 493.88 587.33 783.99 > "$work/b.raw"
quiet_lame --quiet -r -s 22.05 --bitwidth 16 --signed --little-endian -m m -b 24 --resample 22.05 --id3v2-only \
  --tt "Track 2" --ta "Aurora Lane" "$work/b.raw" "$out/Aurora Lane/Track #2.mp3"

# MPEG-1 layer II, 32 kHz mono, 32 kbit/s.
tone 32000 1 2 261.63 329.63 392 523.25 > "$work/c.raw"
twolame --quiet -r -s 32000 -N 1 -m m -b 32 "$work/c.raw" "$out/Brassworks/Fanfare.mp3"

# MPEG-2 layer III, 16 kHz mono, 16 kbit/s, with an upper-case extension.
tone 16000 1 1 330 > "$work/d.raw"
quiet_lame --quiet -r -s 16 --bitwidth 16 --signed --little-endian -m m -b 16 "$work/d.raw" "$out/Cobalt Sky/Song.MP3"

# MPEG-1 layer III, 32 kHz stereo, 32 kbit/s; a name in UTF-8.
tone 32000 2 2 293.66 349.23 440 > "$work/e.raw"
quiet_lame --quiet -r -s 32 --bitwidth 16 --signed --little-endian -m j -b 32 --resample 32 "$work/e.raw" "$out/Cobalt Sky/Étoile.mp3"

ls -l "$out"/*/
