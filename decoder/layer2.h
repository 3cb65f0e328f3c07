// Layer II decoding: allocation, scale factors, grouped and ungrouped
// samples, dequantisation through precomputed tables.
#pragma once

#include <cstdint>

#include "decoder/frame_header.h"

namespace sorvil {

extern double scaleMultiples[27][64];
extern uint8_t groupTable3[32][3];
extern uint8_t groupTable5[128][3];
extern uint8_t groupTable9[1024][3];

void initLayer2Tables();
void selectLayer2Table(FrameInfo* frame);
void layer2ReadAllocation(uint8_t allocation[32][2], uint8_t scaleIndexes[32][2][3], FrameInfo* frame);
void layer2ReadSamples(const uint8_t allocation[32][2], double samples[2][3][32],
                       const uint8_t scaleIndexes[32][2][3], FrameInfo* frame, int part);
int decodeLayer2(FrameInfo* frame, uint8_t* output, int* outBytes);

}  // namespace sorvil
