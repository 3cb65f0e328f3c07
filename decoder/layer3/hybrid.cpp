// Layer III alias reduction and hybrid filterbank. The frequency inversion of
// odd subbands lives in the signed windows: odd subbands always take them.
#include "decoder/layer3/hybrid.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "decoder/decoder_state.h"
#include "decoder/layer3/imdct.h"
#include "decoder/layer3/tables.h"
#include "decoder/vector/lanes.h"

namespace sorvil {

namespace {

constexpr int kSubbands = 32;
constexpr int kLinesPerSubband = 18;

// One even subband and the odd one above it: long blocks (window row 0, 1
// or 3) through the pair kernel, short blocks one subband at a time with the
// plain and the signed window.
void transformPair(int row, int subband, const double* lines, const double* previous, double* next,
                   double (*output)[32]) {
    const int even = subband * kLinesPerSubband;
    const int odd = even + kLinesPerSubband;
    if (row != 2) {
        imdct36Pair(lines + even, previous + even, next + even, row, &output[0][subband]);
        return;
    }
    imdct12(lines + even, previous + even, next + even, imdctWindow[row], &output[0][subband]);
    imdct12(lines + odd, previous + odd, next + odd, imdctWindowSigned[row], &output[0][subband + 1]);
}

}  // namespace

void antialias(double* lines, const GranuleInfo* granule) {
    int boundaries;
    if (granule->blockType == 2)
        boundaries = granule->mixedBlock ? 1 : 0;
    else
        boundaries = granule->activeSubbands - 1;
    if (boundaries > kSubbands - 1) boundaries = kSubbands - 1;

    // Two butterflies at a time, each lane computed exactly as alone: lines
    // below the boundary are read and written in reverse.
    for (int s = 0; s < boundaries; ++s) {
        double* lower = lines + kLinesPerSubband * s + 17;
        double* upper = lines + kLinesPerSubband * (s + 1);
        for (int i = 0; i < 8; i += 2) {
            const Lanes2 lo = reversed(loadPair(lower - i - 1));
            const Lanes2 hi = loadPair(upper + i);
            const Lanes2 cs = loadPair(antialiasCs + i);
            const Lanes2 ca = loadPair(antialiasCa + i);
            storePair(lower - i - 1, reversed(lo * cs - hi * ca));
            storePair(upper + i, hi * cs + lo * ca);
        }
    }
}

void hybridFilterbank(double* lines, double (*output)[32], int channel, const GranuleInfo* granule) {
    const int b = currentDecoder->hybridBlockIndex[channel];
    const double* previous = currentDecoder->hybridBlock[b][channel];
    double* next = currentDecoder->hybridBlock[1 - b][channel];
    currentDecoder->hybridBlockIndex[channel] = 1 - b;
    int32_t& nextLive = currentDecoder->hybridLiveSubbands[1 - b][channel];
    const int previousLive = currentDecoder->hybridLiveSubbands[b][channel];

    int s = 0;
    if (granule->mixedBlock == 1) {
        transformPair(0, 0, lines, previous, next, output);
        s = 2;
    }

    const int row = granule->blockType == 2 ? 2 : granule->blockType;
    // The last pair may reach one subband past an odd count; its lines are zero.
    const int active = int(std::min(static_cast<uint32_t>(granule->activeSubbands), uint32_t(kSubbands)));
    // Four subbands at a time where the processor allows, within the pairs
    // that are transformed: a subband past them passes its overlap through.
    static const QuadImdct quad = imdct36QuadKernel();
    if (row != 2 && quad) {
        for (; s + 4 <= (active + 1) / 2 * 2; s += 4) {
            const int line = kLinesPerSubband * s;
            quad(lines + line, previous + line, next + line, row, &output[0][s]);
        }
    }
    for (; s < active; s += 2) transformPair(row, s, lines, previous, next, output);

    // The next overlap of the other subbands is zero: only the part of it
    // that may hold an older granule's values is cleared.
    if (nextLive > s)
        std::memset(next + kLinesPerSubband * s, 0, sizeof(double) * size_t(kLinesPerSubband * (nextLive - s)));
    nextLive = s;
    // Their output is the previous overlap, which is zero past previousLive.
    for (; s < previousLive; ++s) {
        const double* overlap = previous + kLinesPerSubband * s;
#pragma GCC unroll 18
        for (int t = 0; t < kLinesPerSubband; ++t) output[t][s] = overlap[t];
    }
    if (s >= kSubbands) return;
    for (int t = 0; t < kLinesPerSubband; ++t) std::fill(output[t] + s, output[t] + kSubbands, 0.0);
}

}  // namespace sorvil
