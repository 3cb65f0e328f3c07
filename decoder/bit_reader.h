// The process-wide bit cursor over the current frame's reservoir area and its
// three readers. Bits are read most significant first. The readers do no
// bounds checking; the reservoir areas carry slack bytes after the largest
// frame body so that their look-ahead of up to two bytes stays inside the
// decoder state.
#pragma once

#include <cstdint>

namespace sorvil {

extern uint8_t* readPointer;
extern int bitIndex;
// One past the last byte the readers may be trusted to look at in the current
// reservoir area (set by decodeFrame). Stages that read an amount the
// bitstream decides (Huffman data) stop before passing it.
extern const uint8_t* readLimit;

// Next n bits (0..16) from a 24-bit window; n = 0 returns 0 without moving.
inline unsigned getBits(int n) {
    if (n == 0) return 0;
    unsigned window = (unsigned(readPointer[0]) << 16) | (unsigned(readPointer[1]) << 8) | readPointer[2];
    window = (window << bitIndex) & 0xFFFFFF;
    unsigned value = window >> (24 - n);
    bitIndex += n;
    readPointer += bitIndex >> 3;
    bitIndex &= 7;
    return value;
}

// Next n bits (1..9) from a 16-bit window.
inline unsigned getBitsFast(int n) {
    unsigned window = (unsigned(readPointer[0]) << 8) | readPointer[1];
    window = (window << bitIndex) & 0xFFFF;
    unsigned value = window >> (16 - n);
    bitIndex += n;
    readPointer += bitIndex >> 3;
    bitIndex &= 7;
    return value;
}

inline unsigned getOneBit() {
    unsigned value = ((unsigned(readPointer[0]) << bitIndex) & 0xFF) >> 7;
    ++bitIndex;
    readPointer += bitIndex >> 3;
    bitIndex &= 7;
    return value;
}

}  // namespace sorvil
