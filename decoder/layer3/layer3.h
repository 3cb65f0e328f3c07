// Layer III frame driver: side information, the step back into the bit
// reservoir, and the granule and channel loop.
#pragma once

#include <cstdint>

#include "decoder/frame_header.h"

namespace sorvil {

// Pairs of spectral values in a granule (576 values): the bound on big_values
// and on the region boundaries.
constexpr int kMaxPairs = 288;

struct GranuleInfo {
    int32_t scfsi;
    int32_t part23Length;
    int32_t bigValues;
    int32_t scalefacCompress;
    int32_t blockType;
    int32_t mixedBlock;
    int32_t tableSelect[3];
    int32_t shortBandLimit[3];
    int32_t longBandLimit;
    int32_t activeSubbands;
    int32_t region1Pair;
    int32_t region2Pair;
    int32_t preflag;
    int32_t scalefacScale;
    int32_t count1TableSelect;
    int32_t windowGainBase[3];
    int32_t gainBase;
};

struct SideInfo {
    uint32_t mainDataBegin;
    uint32_t privateBits;
    GranuleInfo channelGranules[2][2];  // [channel][granule]
};

// Process-wide working arrays, overwritten every granule.
extern double spectrum[2][576];
extern double hybridOutput[2][18][32];

int decodeLayer3(FrameInfo* frame, uint8_t* output, int* outBytes);
int readSideInfoMpeg1(SideInfo* sideInfo, int channels, int msStereo, int samplingFrequency);
int readSideInfoLsf(SideInfo* sideInfo, int channels, int msStereo, int samplingFrequency);

}  // namespace sorvil
