#!/usr/bin/env python3
"""Deterministic test signals for the test-data scripts, as raw signed 16-bit
little-endian PCM, channels interleaved, so the same encoders give the same
files every time.

  test_signal.py tremolo RATE CHANNELS SECONDS PATH
      two tones (440 Hz + 110 Hz per channel, and 3100 Hz) with a slow
      tremolo: the stream fixtures and the duration set
  test_signal.py sweep RATE CHANNELS SECONDS PATH
      a tone gliding up and down at a different pace in each channel, with a
      tremolo: never periodic, so a buffer played twice, dropped or played
      late shows in a comparison (the playback fixture)
  test_signal.py notes RATE CHANNELS SECONDS HZ... > PCM
      the notes one after another in equal parts, each faded in and out over
      10 ms, the same in every channel: the sample collection
"""
import math
import struct
import sys


def tremolo(rate, channels, seconds):
    out = bytearray()
    for i in range(int(rate * seconds)):
        t = i / rate
        for ch in range(channels):
            s = 0.3 * math.sin(2 * math.pi * (440 + 110 * ch) * t) + 0.1 * math.sin(2 * math.pi * 3100 * t)
            s *= 0.6 + 0.4 * math.sin(2 * math.pi * 2 * t)
            out += struct.pack('<h', int(s * 30000))
    return out


def sweep(rate, channels, seconds):
    out = bytearray()
    phases = [0.0] * channels
    for i in range(int(rate * seconds)):
        t = i / rate
        for ch in range(channels):
            frequency = 1200 + 900 * math.sin(2 * math.pi * (0.37 + 0.11 * ch) * t)
            phases[ch] += 2 * math.pi * frequency / rate
            s = 0.35 * math.sin(phases[ch]) * (0.65 + 0.35 * math.sin(2 * math.pi * (1.3 + 0.4 * ch) * t))
            out += struct.pack('<h', int(s * 30000))
    return out


def notes(rate, channels, seconds, frequencies):
    total = int(rate * seconds)
    part = total // len(frequencies)
    fade = rate // 100
    out = bytearray()
    for i in range(total):
        note = frequencies[min(i // part, len(frequencies) - 1)]
        k = i % part
        gain = min(1.0, k / fade, (part - k) / fade)
        value = int(round(0.4 * gain * 32767 * math.sin(2 * math.pi * note * i / rate)))
        out += struct.pack('<h', value) * channels
    return out


def main(args):
    kind, rate, channels, seconds = args[0], int(args[1]), int(args[2]), float(args[3])
    if kind in ("tremolo", "sweep"):
        with open(args[4], "wb") as f:
            f.write((tremolo if kind == "tremolo" else sweep)(rate, channels, seconds))
    elif kind == "notes":
        sys.stdout.buffer.write(notes(rate, channels, seconds, [float(f) for f in args[4:]]))
    else:
        sys.exit(f"test_signal.py: no signal named {kind}")


if __name__ == "__main__":
    main(sys.argv[1:])
