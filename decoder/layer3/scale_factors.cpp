// Layer III scale factor readers (part2 of each granule and channel). They
// fill the channel's array in the order the band walk lists consume it and
// return the bits read, which the Huffman stage takes from the granule's budget.
#include "decoder/layer3/scale_factors.h"

#include "decoder/bit_reader.h"
#include "decoder/layer3/tables.h"

namespace sorvil {

namespace {

// Reads count values of width bits (1..9; width 0 reads nothing and gives
// zeros), as getBitsFast does. The cursor is held in locals for the run: the
// values stored through out could alias the global cursor, which would be
// reloaded and stored again for every value.
int* readValues(int* out, int count, int width) {
    if (width == 0) {
        for (int i = 0; i < count; ++i) *out++ = 0;
        return out;
    }
    uint8_t* at = readPointer;
    unsigned bit = unsigned(bitIndex);
    for (int i = 0; i < count; ++i) {
        const unsigned window = ((unsigned(at[0]) << 8 | at[1]) << bit) & 0xFFFF;
        *out++ = int(window >> (16 - width));
        bit += unsigned(width);
        at += bit >> 3;
        bit &= 7;
    }
    readPointer = at;
    bitIndex = int(bit);
    return out;
}

int* fillValues(int* out, int count, int value) {
    for (int i = 0; i < count; ++i) *out++ = value;
    return out;
}

int* appendZeros(int* out, int count) { return fillValues(out, count, 0); }

struct ScfsiGroup {
    int first;
    int count;
    int usesSlen2;
    int scfsiBit;
};
constexpr ScfsiGroup kScfsiGroups[4] = {{0, 6, 0, 8}, {6, 5, 0, 4}, {11, 5, 1, 2}, {16, 5, 1, 1}};

}  // namespace

int readScaleFactorsMpeg1(int scalefactors[39], GranuleInfo* granule) {
    const int slen1 = slenTable[0][granule->scalefacCompress & 15];
    const int slen2 = slenTable[1][granule->scalefacCompress & 15];

    if (granule->blockType == 2) {
        // Mixed: 8 long bands and short bands 3-5, then short bands 6-11.
        const int firstCount = granule->mixedBlock ? 17 : 18;
        int* out = readValues(scalefactors, firstCount, slen1);
        out = readValues(out, 18, slen2);
        appendZeros(out, 3);
        return firstCount * slen1 + 18 * slen2;
    }

    if (granule->scfsi < 0) {
        int* out = readValues(scalefactors, 11, slen1);
        out = readValues(out, 10, slen2);
        appendZeros(out, 1);
        return 11 * slen1 + 10 * slen2;
    }

    // Granule 1: a set scfsi bit keeps granule 0's values of that group.
    int part2Bits = 0;
    for (const ScfsiGroup& group : kScfsiGroups) {
        if (granule->scfsi & group.scfsiBit) continue;
        const int width = group.usesSlen2 ? slen2 : slen1;
        readValues(scalefactors + group.first, group.count, width);
        part2Bits += group.count * width;
    }
    scalefactors[21] = 0;
    return part2Bits;
}

int readScaleFactorsLsf(int scalefactors[39], GranuleInfo* granule, int intensityChannel, int illegalPositions[39]) {
    const int compress = granule->scalefacCompress & 511;
    uint32_t layout = intensityChannel ? lsfSlenIntensity[compress / 2] : lsfSlenNormal[compress];
    granule->preflag = int(layout >> 15) & 1;

    int blockClass = 0;
    if (granule->blockType == 2) blockClass = granule->mixedBlock ? 2 : 1;
    const uint8_t* counts = lsfBandCounts[blockClass][(layout >> 12) & 7];

    int part2Bits = 0;
    int* out = scalefactors;
    int* illegal = illegalPositions;
    for (int partition = 0; partition < 4; ++partition) {
        const int width = int(layout & 7);
        layout >>= 3;
        out = readValues(out, counts[partition], width);
        if (illegal) illegal = fillValues(illegal, counts[partition], (1 << width) - 1);
        part2Bits += counts[partition] * width;
    }
    const int entriesWithoutBits = 2 * blockClass + 1;
    appendZeros(out, entriesWithoutBits);
    // Band 11's windows (or band 20) all lie in the last partition read.
    if (illegal) fillValues(illegal, entriesWithoutBits, illegal[-1]);
    return part2Bits;
}

}  // namespace sorvil
