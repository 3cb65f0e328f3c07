// Layer III Huffman decoding with dequantisation folded in.
#pragma once

#include <cstdint>

#include "decoder/layer3/layer3.h"

namespace sorvil {

struct HuffmanTable {
    int linbits;
    const int16_t* tree;
};
extern const HuffmanTable huffmanTables[32];
extern const HuffmanTable count1Tables[2];

// Builds the first-level lookups that speed up the tree walks; called once
// by initLayer3Tables.
void buildHuffmanLookups();

// 0, or 1 when the granule's data overran its bit budget.
int decodeSpectrum(double* lines, const int* scalefactors, GranuleInfo* granule,
                   int samplingFrequency, int part2Bits);

}  // namespace sorvil
