// Layer II decoding: allocation, scale factors, grouped and ungrouped
// samples, dequantisation through precomputed tables.
#pragma once

#include <cstdint>

#include "decoder/frame_header.h"

namespace sorvil {

// One entry of a layer II allocation table: a head entry {nbal, 0}, or the
// quantiser of one allocation value (d > 0 grouped levels, d < 0 ungrouped).
struct Layer2AllocEntry {
    int16_t bits;
    int16_t d;
};

// Rows of scaleMultiples: the quantiser's level multiplier times the scale
// factor 2^(1 - i/3) for index i (index 63 gives 0).
extern double scaleMultiples[27][64];
// Row triples of scaleMultiples for each code of the grouped quantisers;
// codes past the last valid one give rows 0, 0, 0 (zero samples).
extern uint8_t groupTable3[32][3];
extern uint8_t groupTable5[128][3];
extern uint8_t groupTable9[1024][3];

// Generated from the standard's allocation tables (layer2_tables.cpp):
// tables 0..4 = ISO/IEC 11172-3 3-B.2a, 3-B.2b, 3-B.2c, 3-B.2d and the
// ISO/IEC 13818-3 lower-sampling-frequency table.
extern const Layer2AllocEntry* const layer2AllocTables[5];
extern const int layer2SubbandLimits[5];
// MPEG-1 table number by [sampling rate 0..2][channels - 1][bitrate index].
extern const uint8_t layer2TableChoice[3][2][16];

void initLayer2Tables();
void selectLayer2Table(FrameInfo* frame);
// Reads allocation, scale-factor selection and scale factors; jointStereoBound
// and the table must already be set. scaleIndexes[sb][ch] holds the three
// indexes of each (subband, channel) with a non-zero allocation.
void layer2ReadAllocation(uint8_t allocation[32][2], uint8_t scaleIndexes[32][2][3], FrameInfo* frame);
// Reads and dequantises one granule (three samples per subband); part 0..2
// selects which of the three scale factors applies.
void layer2ReadSamples(const uint8_t allocation[32][2], double samples[2][3][32],
                       const uint8_t scaleIndexes[32][2][3], FrameInfo* frame, int part);
// The layer routine: 1152 samples per channel appended at output + *outBytes.
int decodeLayer2(FrameInfo* frame, uint8_t* output, int* outBytes);

}  // namespace sorvil
