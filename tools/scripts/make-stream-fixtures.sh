#!/bin/sh
# Makes the small MP3/MP2 files under tests/data/streams/ that the stream
# creation and duration tests read: real encoder output (lame, twolame,
# ffmpeg) at several versions and rates, plus copies with ID3 tags, garbage
# in front, a first frame beyond the search window and a single frame.
#
# The tests hold numbers worked out from the committed files' bytes; after
# re-running this script, check those numbers again (encoders may differ).
#
# Usage: tools/scripts/make-stream-fixtures.sh [output-dir]
set -eu
scripts=$(cd "$(dirname "$0")" && pwd)

out=${1:-"$(dirname "$0")/../../tests/data/streams"}
mkdir -p "$out"
. "$scripts/encoding.sh"

lame_raw() { # rate(Hz) channels seconds output lame-options...
    rate=$1 channels=$2 seconds=$3 target=$4
    shift 4
    signal "$rate" "$channels" "$seconds" "$work/in.raw"
    mode=j
    [ "$channels" = 1 ] && mode=m
    quietly lame --silent -r -s "$(python3 -c "print($rate/1000)")" --bitwidth 16 --signed --little-endian \
        -m "$mode" "$@" "$work/in.raw" "$out/$target"
}

# MPEG-1 layer III: CBR with its info frame, VBR with a Xing frame count,
# no tag frame at all, and CRC-protected frames.
lame_raw 44100 2 1.0 lame_cbr128_44100.mp3 -b 128
lame_raw 44100 2 1.5 lame_vbr_xing_44100.mp3 -V 6
lame_raw 44100 2 1.0 lame_notag_cbr128_44100.mp3 -t -b 128
lame_raw 32000 1 1.0 lame_crc_mono64_32000.mp3 -t -p -b 64
# A longer song for playback through a real audio stream.
sweep 44100 2 3.0 "$work/sweep.raw"
quietly lame --silent -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 128 --resample 44.1 \
    "$work/sweep.raw" "$out/lame_sweep_44100_128.mp3"
# Lower sampling frequencies and the MPEG-2.5 rates.
lame_raw 22050 2 1.0 lame_mpeg2_22050_64.mp3 -t -b 64
lame_raw 16000 1 1.0 lame_mpeg2_16000_mono32.mp3 -t -b 32
lame_raw 11025 2 1.0 lame_mpeg25_11025_32.mp3 -t -b 32
lame_raw 8000 1 2.0 lame_mpeg25_8000_mono8.mp3 -t -b 8

# Layer II from two encoders, MPEG-1 and MPEG-2.
signal 48000 2 1.0 "$work/in48.raw"
quietly twolame --quiet -r -s 48000 -N 2 -b 160 "$work/in48.raw" "$out/twolame_l2_48000_160.mp2"
signal 24000 1 1.0 "$work/in24.raw"
quietly twolame --quiet -r -s 24000 -N 1 -m m -b 48 "$work/in24.raw" "$out/twolame_l2_mpeg2_24000_mono48.mp2"
signal 44100 2 1.0 "$work/in44.raw"
ffmpeg -v error -y -f s16le -ar 44100 -ac 2 -i "$work/in44.raw" -c:a mp2 -b:a 192k -f mp2 \
    "$out/ffmpeg_l2_44100_192.mp2"

# Tags, garbage and odd layouts, made from the untagged CBR file.
python3 - "$out" <<'EOF'
import os, sys
out = sys.argv[1]
base = open(os.path.join(out, 'lame_notag_cbr128_44100.mp3'), 'rb').read()

def id3v2(body_size, footer):
    flags = 0x10 if footer else 0
    size = bytes([(body_size >> 21) & 0x7F, (body_size >> 14) & 0x7F, (body_size >> 7) & 0x7F, body_size & 0x7F])
    return b'ID3' + bytes([4 if footer else 3, 0, flags]) + size

def frame(title):
    text = b'\x00' + title
    return b'TIT2' + len(text).to_bytes(4, 'big') + b'\x00\x00' + text

def id3v1(title):
    return b'TAG' + title.ljust(30, b'\x00') + b'\x00' * 30 * 2 + b'2024' + b'\x00' * 30 + b'\xff'

def write(name, data):
    open(os.path.join(out, name), 'wb').write(data)

# ID3v2.3 tag with a title frame and padding, no footer.
body = frame(b'Song with a tag') + b'\x00' * 300
write('id3v2_no_footer.mp3', id3v2(len(body), False) + body + base)
# ID3v2.4 tag with the footer flag and a footer ("3DI") after the body.
body = frame(b'Song with a footer') + b'\x00' * 100
footer = b'3DI' + id3v2(len(body), True)[3:]
write('id3v2_footer.mp3', id3v2(len(body), True) + body + footer + base)
# ID3v1 trailer only, and both kinds of tag.
write('id3v1.mp3', base + id3v1(b'Trailer title'))
body = frame(b'Both tags') + b'\x00' * 50
write('id3v2_and_id3v1.mp3', id3v2(len(body), False) + body + base + id3v1(b'Both tags'))
# Garbage in front: text, a lone sync word that passes the quick header test
# but is not followed by a header one frame later, more bytes.
garbage = b'not audio ' * 20 + b'\xff\xfb\x90\x64' + b'\x00' * 37 + b'\x01\x02\x03'
write('garbage_before.mp3', garbage + base)
# First frame 30000 bytes into the audio data: beyond the 28672-byte window.
write('frame_beyond_window.mp3', b'\x00' * 30000 + base)
# One frame only: the first frame of the untagged file.
header = int.from_bytes(base[:4], 'big')
rate = [44100, 48000, 32000][(header >> 10) & 3]
kbps = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320][(header >> 12) & 15]
length = 144000 * kbps // rate + ((header >> 9) & 1)
write('single_frame.mp3', base[:length])
EOF
ls -l "$out"
