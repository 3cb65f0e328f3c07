#!/bin/sh
# Makes the duration check set under tests/data/durations/: short files from
# lame, twolame and ffmpeg (its layer II encoder and its MP3 encoder) at every
# sampling rate each supports, constant and variable bitrate, mono and
# stereo, the lowest and highest bitrates, with and without the encoders'
# header frame and with and without ID3v2/ID3v1 tags. Then it walks every
# file's frame headers from the first frame to the end and writes what it
# finds to frames.txt, the record the duration test checks the stream
# against.
#
# Usage: tools/scripts/make-duration-set.sh [output-dir]
set -eu
scripts=$(cd "$(dirname "$0")" && pwd)

out=${1:-"$(dirname "$0")/../../tests/data/durations"}
mkdir -p "$out"
rm -f "$out"/*.mp3 "$out"/*.mp2 "$out/frames.txt"
. "$scripts/encoding.sh"

# Short files keep the set small: 0.15 s at the highest bitrates, 0.4 s
# otherwise; one long file at the lowest bitrate.
seconds() { # kind
    case $1 in high) echo 0.15 ;; long) echo 12 ;; *) echo 0.4 ;; esac
}

input() { # rate channels kind: the path of that signal, made once
    path="$work/in_$1_$2_$3.raw"
    [ -f "$path" ] || signal "$1" "$2" "$(seconds "$3")" "$path"
    echo "$path"
}

# Tags go round four ways from file to file: none, ID3v2, ID3v1, both.
count=0
next_tags() {
    case $((count % 4)) in 0) tags=none ;; 1) tags=id3v2 ;; 2) tags=id3v1 ;; 3) tags=both ;; esac
    count=$((count + 1))
}
suffix() { [ "$tags" = none ] && echo "" || echo "_$tags"; }

# Tags for encoders that write none, in the layout other tools write.
add_tags() { # path
    [ "$tags" = none ] && return
    python3 - "$1" "$tags" <<'EOF'
import sys
path, tags = sys.argv[1], sys.argv[2]
audio = open(path, 'rb').read()
text = b'\x00' + b'Duration check'
frame = b'TIT2' + len(text).to_bytes(4, 'big') + b'\x00\x00' + text
body = frame + b'\x00' * 64
size = bytes([(len(body) >> 21) & 0x7F, (len(body) >> 14) & 0x7F, (len(body) >> 7) & 0x7F, len(body) & 0x7F])
front = b'ID3\x03\x00\x00' + size + body if tags in ('id3v2', 'both') else b''
back = b'TAG' + b'Duration check'.ljust(30, b'\x00') + b'\x00' * 94 + b'\xff' if tags in ('id3v1', 'both') else b''
open(path, 'wb').write(front + audio + back)
EOF
}

# lame: its header frame ("Info" for constant, "Xing" for variable bitrate)
# unless `noheader`; tags through its own options. `header` only asks for
# it: lame leaves it out where its frames are too small to hold it (at the
# lowest bitrates), and frames.txt says so.
lame_file() { # rate channels kind bitrate|vbr header|noheader
    rate=$1 channels=$2 kind=$3 bitrate=$4 header=$5
    next_tags
    mode=j
    [ "$channels" = 1 ] && mode=m
    set -- -m "$mode"
    case $bitrate in vbr) set -- "$@" -V 7 ;; *) set -- "$@" -b "$bitrate" --cbr ;; esac
    [ "$header" = noheader ] && set -- "$@" -t
    case $tags in
    id3v2) set -- "$@" --tt "Duration check" --id3v2-only ;;
    id3v1) set -- "$@" --tt "Duration check" --id3v1-only ;;
    both) set -- "$@" --tt "Duration check" --add-id3v2 ;;
    esac
    name="lame_${rate}_$(channel_name "$channels")_$(rate_name "$bitrate")_${header}$(suffix).mp3"
    # Without --resample lame lowers the rate to suit a low bitrate.
    khz=$(python3 -c "print($rate/1000)")
    quietly lame --silent -r -s "$khz" --resample "$khz" --bitwidth 16 --signed --little-endian \
        "$@" "$(input "$rate" "$channels" "$kind")" "$out/$name"
}

# ffmpeg's MP3 encoder: its header frame unless `noheader`; tags through the
# muxer (an ID3v2 tag is written unless switched off).
ffmpeg_mp3_file() { # rate channels kind bitrate|vbr header|noheader
    rate=$1 channels=$2 kind=$3 bitrate=$4 header=$5
    next_tags
    set --
    case $bitrate in vbr) set -- -q:a 7 ;; *) set -- -b:a "${bitrate}k" ;; esac
    [ "$header" = noheader ] && set -- "$@" -write_xing 0
    case $tags in
    none) set -- "$@" -id3v2_version 0 ;;
    id3v2) set -- "$@" -metadata title="Duration check" ;;
    id3v1) set -- "$@" -id3v2_version 0 -write_id3v1 1 -metadata title="Duration check" ;;
    both) set -- "$@" -write_id3v1 1 -metadata title="Duration check" ;;
    esac
    name="ffmpeg_mp3_${rate}_$(channel_name "$channels")_$(rate_name "$bitrate")_${header}$(suffix).mp3"
    quietly ffmpeg -v error -y -f s16le -ar "$rate" -ac "$channels" -i "$(input "$rate" "$channels" "$kind")" \
        -c:a libmp3lame "$@" -f mp3 "$out/$name"
}

# twolame and ffmpeg's layer II encoder write no header frame and no tags.
twolame_file() { # rate channels kind bitrate|vbr
    rate=$1 channels=$2 kind=$3 bitrate=$4
    next_tags
    mode=j
    [ "$channels" = 1 ] && mode=m
    case $bitrate in vbr) set -- -v -V 5 ;; *) set -- -b "$bitrate" ;; esac
    name="twolame_${rate}_$(channel_name "$channels")_$(rate_name "$bitrate")$(suffix).mp2"
    quietly twolame --quiet -r -s "$rate" -N "$channels" -m "$mode" "$@" \
        "$(input "$rate" "$channels" "$kind")" "$out/$name"
    add_tags "$out/$name"
}

ffmpeg_mp2_file() { # rate channels kind bitrate
    rate=$1 channels=$2 kind=$3 bitrate=$4
    next_tags
    name="ffmpeg_mp2_${rate}_$(channel_name "$channels")_$(rate_name "$bitrate")$(suffix).mp2"
    quietly ffmpeg -v error -y -f s16le -ar "$rate" -ac "$channels" -i "$(input "$rate" "$channels" "$kind")" \
        -c:a mp2 -b:a "${bitrate}k" -f mp2 "$out/$name"
    add_tags "$out/$name"
}

channel_name() { [ "$1" = 1 ] && echo mono || echo stereo; }
rate_name() { [ "$1" = vbr ] && echo vbr || echo "cbr$1"; }

# The lowest and highest bitrates the encoders accept for layer III: MPEG-1
# 32 to 320, MPEG-2 8 to 160, MPEG-2.5 8 to 64 kbit/s.
mp3_highest() {
    case $1 in 32000 | 44100 | 48000) echo 320 ;; 16000 | 22050 | 24000) echo 160 ;; *) echo 64 ;; esac
}
mp3_lowest() {
    case $1 in 32000 | 44100 | 48000) echo 32 ;; *) echo 8 ;; esac
}
for rate in 8000 11025 12000 16000 22050 24000 32000 44100 48000; do
    low=$(mp3_lowest "$rate") high=$(mp3_highest "$rate")
    for encoder in lame_file ffmpeg_mp3_file; do
        $encoder "$rate" 1 low "$low" header
        $encoder "$rate" 2 low "$low" noheader
        $encoder "$rate" 2 high "$high" header
        $encoder "$rate" 1 low vbr header
        $encoder "$rate" 2 low vbr noheader
    done
done

# Layer II: MPEG-1 32 (mono) or 64 (stereo) to 384 kbit/s, MPEG-2 8 to 160.
for rate in 16000 22050 24000 32000 44100 48000; do
    case $rate in
    32000 | 44100 | 48000) mono_low=32 stereo_low=64 high=384 ;;
    *) mono_low=8 stereo_low=8 high=160 ;;
    esac
    for encoder in twolame_file ffmpeg_mp2_file; do
        $encoder "$rate" 1 low "$mono_low"
        $encoder "$rate" 2 low "$stereo_low"
        $encoder "$rate" 2 high "$high"
    done
    # Its variable bitrate stays high in stereo: kept as short as the highest.
    twolame_file "$rate" 1 low vbr
    twolame_file "$rate" 2 high vbr
done

# Long enough for the padding bytes to add up to more than a frame (26 or 27
# bytes each), so that the data length over the first frame's length is no
# longer the number of frames.
lame_file 22050 1 long 8 noheader

# The record: every file's frames, found by walking its frame headers.
python3 - "$out" <<'EOF'
import os, sys

out = sys.argv[1]
BITRATES = {  # kbit/s by (MPEG-1?, layer) and bitrate index 1..14
    (True, 2): [32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384],
    (True, 3): [32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
    (False, 2): [8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160],
    (False, 3): [8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160],
}
RATES = {3: [44100, 48000, 32000], 2: [22050, 24000, 16000], 0: [11025, 12000, 8000]}

def header(data, at):
    """The fields of the frame header at `at`, or None."""
    b = data[at:at + 4]
    if len(b) < 4 or b[0] != 0xFF or (b[1] & 0xE0) != 0xE0:
        return None
    version, layer_bits = (b[1] >> 3) & 3, (b[1] >> 1) & 3
    index, rate_index = b[2] >> 4, (b[2] >> 2) & 3
    if version == 1 or layer_bits not in (1, 2) or index in (0, 15) or rate_index == 3:
        return None
    mpeg1, layer = version == 3, 4 - layer_bits
    kbps, rate = BITRATES[(mpeg1, layer)][index - 1], RATES[version][rate_index]
    slots = 144 if mpeg1 or layer == 2 else 72
    return {
        'length': slots * kbps * 1000 // rate + ((b[2] >> 1) & 1),
        'kbps': kbps, 'rate': rate, 'layer': layer, 'mpeg1': mpeg1, 'mono': (b[3] >> 6) == 3,
        'samples': 576 if layer == 3 and not mpeg1 else 1152,
    }

def header_kind(data, at, first):
    """The name of a frame-count header in the first frame, or '-'."""
    side = (21 if first['mono'] else 36) if first['mpeg1'] else (13 if first['mono'] else 21)
    name = data[at + side:at + side + 4]
    if name in (b'Xing', b'Info'):
        return name.decode()
    return 'VBRI' if data[at + 36:at + 40] == b'VBRI' else '-'

def walk(path):
    data = open(path, 'rb').read()
    end = len(data) - (128 if data[-128:-125] == b'TAG' else 0)
    start = 0
    if data[:3] == b'ID3':
        size = (data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9]
        start = 10 + size + (10 if data[5] & 0x10 else 0)
    first = header(data, start)
    if first is None:
        sys.exit(f'{path}: no frame header where the audio starts')
    frames, bitrates, at = [], set(), start
    while at < end:
        h = header(data, at)
        if h is None or at + h['length'] > end:
            sys.exit(f'{path}: the walk breaks off at byte {at}')
        frames.append(h)
        at += h['length']
    kind = header_kind(data, start, first)
    audio = frames[1:] if kind != '-' else frames  # the header frame carries no audio
    constant = len({h['kbps'] for h in audio}) == 1
    return [len(audio), kind, 'constant' if constant else 'variable', first['rate'], first['samples']]

names = sorted(n for n in os.listdir(out) if n.endswith(('.mp3', '.mp2')))
with open(os.path.join(out, 'frames.txt'), 'w') as record:
    record.write('# Made by tools/scripts/make-duration-set.sh: each file of this folder with its frames, counted\n'
                 '# by walking its frame headers from the first frame to the end. Columns: file, audio\n'
                 '# frames (a header frame not counted), frame-count header of the first frame (- for\n'
                 '# none), bitrate of the audio frames, sampling rate, samples per frame.\n')
    for name in names:
        record.write(' '.join(str(field) for field in [name] + walk(os.path.join(out, name))) + '\n')
EOF
du -sh "$out"
ls "$out" | wc -l
