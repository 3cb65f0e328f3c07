// MPEG audio frame header: validity test, decoding into FrameInfo, and the
// sampling-rate and bitrate tables shared with the stream code.
#pragma once

#include <cstdint>

namespace sorvil {

struct FrameInfo;
struct Layer2AllocEntry;  // the layer II stage's allocation table entry

// A layer routine decodes one assembled frame body into 16-bit PCM appended at
// output + *outBytes, advancing *outBytes. Negative on failure, else a clip count.
using LayerRoutine = int (*)(FrameInfo* frame, uint8_t* output, int* outBytes);

struct FrameInfo {
    int32_t channels;
    int32_t jointStereoBound;
    int32_t singleChannel;
    int32_t lsf;
    int32_t mpeg25;
    int32_t layer;
    int32_t errorProtection;
    int32_t bitrateIndex;
    int32_t samplingFrequency;
    int32_t padding;
    int32_t extension;
    int32_t mode;
    int32_t modeExtension;
    int32_t copyright;
    int32_t original;
    int32_t emphasis;
    int32_t frameSize;  // body size in bytes, header excluded
    int32_t subbandLimit;
    const Layer2AllocEntry* allocTable;
    LayerRoutine decodeLayer;
};

// Hz, indexed by FrameInfo::samplingFrequency (0..8).
extern const int samplingRates[9];
// kbit/s, indexed [lsf][layer - 1][bitrateIndex]; entries 0 and 15 are 0.
extern const int bitrates[2][3][16];

int headerIsValid(uint32_t header);
int decodeHeader(FrameInfo* frame, uint32_t header);

}  // namespace sorvil
