#include "decoder/synthesis.h"

#include <cmath>
#include <cstring>

#include "decoder/decoder_state.h"
#include "decoder/vector/synthesis_kernels.h"
#include "decoder/vector/synthesis_paths.h"

namespace sorvil {

double cosineTables[5][16];
double synthesisWindow[17][32];

Lanes4 windowGroups[8][16][8];
Lanes2 cosinePairs[5][16];

namespace {

constexpr int kRingSlots = 16;
constexpr int kHalfValues = kRingRows * kRingSlots;  // 272

void dct64Plain(const double* subbandSamples, double* firstColumn, double* secondColumn) {
    dct64Kernel<PairOfPairs>(subbandSamples, firstColumn, secondColumn);
}

int windowPlain(const double* half, int phase, uint8_t* out, SampleLayout layout) {
    switch (layout) {
        case SampleLayout::Channel0: return windowKernel<PairOfPairs, SampleLayout::Channel0>(half, phase, out);
        case SampleLayout::Channel1: return windowKernel<PairOfPairs, SampleLayout::Channel1>(half, phase, out);
        default: return windowMonoKernel<PairOfPairs>(half, phase, out);
    }
}

int windowStereoPlain(const double* leftHalf, const double* rightHalf, int phase, uint8_t* out) {
    return windowStereoKernel<PairOfPairs>(leftHalf, rightHalf, phase, out);
}

SynthesisKernels activeKernels = {dct64Plain, windowPlain, windowStereoPlain};
SynthesisPath activePath = SynthesisPath::Plain;

bool processorHasAvx() {
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("avx");
#else
    return false;
#endif
}

// Where one slot of one channel goes in its ring at offset o: the two
// columns the matrixing writes, then the half and phase the window reads.
// Each half of the ring keeps its 16 columns one after the other, 17 rows
// each.
struct RingSlot {
    double* firstColumn;
    double* secondColumn;
    const double* half;
    int phase;
};

RingSlot ringSlot(int channel, int o) {
    double* halves = currentDecoder->synthBuffers[channel][0];
    if (o & 1) return {halves + kHalfValues + ((o + 1) & 15) * kRingRows, halves + o * kRingRows, halves, o >> 1};
    return {halves + o * kRingRows, halves + kHalfValues + (o + 1) * kRingRows, halves + kHalfValues, (o + 1) >> 1};
}

// Runs one slot of one channel through the ring and the window, writing the
// 32 samples at out as layout says; returns the clip count.
int synthesizeSlot(const double* subbandSamples, int channel, uint8_t* out, SampleLayout layout) {
    const int o = channel == 0 ? (currentDecoder->synthOffset + 15) & 15 : currentDecoder->synthOffset;
    const RingSlot slot = ringSlot(channel, o);
    activeKernels.dct64(subbandSamples, slot.firstColumn, slot.secondColumn);
    currentDecoder->synthOffset = o;
    return activeKernels.window(slot.half, slot.phase, out, layout);
}

}  // namespace

void makeSynthesisTables(double scale) {
    for (int i = 0; i < 5; ++i) {
        int entries = 16 >> i;
        for (int k = 0; k < entries; ++k)
            cosineTables[i][k] = 1.0 / (2.0 * std::cos(M_PI * (2 * k + 1) / static_cast<double>(64 >> i)));
    }

    double factor = -scale;
    for (int i = 0; i < 512; ++i) {
        int j = i < 256 ? i : 512 - i;
        double value = windowBase[j] * factor / 65536.0;
        int row = i % 32;
        if (row <= 16) {
            synthesisWindow[row][i / 32] = value;
            synthesisWindow[row][i / 32 + 16] = value;
        }
        if (i % 64 == 63) factor = -factor;
    }

    for (int i = 0; i < 5; ++i)
        for (int k = 0; k < 16; ++k) cosinePairs[i][k] = Lanes2{cosineTables[i][k], cosineTables[i][k]};

    // Sample j of rows 0..15 sums (-1)^t Wn[j][(t - p) mod 16] H[j][t]; sample
    // 32 - j of rows 1..15 sums -Wn[j][(p - 1 - t) mod 16] H[j][t] (negating
    // each product instead of the sum gives the same double); sample 16 sums
    // the even columns of row 16. Its odd columns carry 0.0: their products
    // are zeros, and adding a zero leaves a nonzero sum as it was and at most
    // turns the sign of a zero sum, which gives the same sample.
    for (int phase = 0; phase < 8; ++phase) {
        const int p = 2 * phase + 1;
        for (int t = 0; t < 16; ++t) {
            const double sign = (t & 1) ? -1.0 : 1.0;
            auto lower = [&](int j) { return sign * synthesisWindow[j][(t - p + 16) & 15]; };
            auto upper = [&](int j) { return -synthesisWindow[j][(p - 1 - t + 16) & 15]; };
            for (int g = 0; g < 7; ++g) {
                const int j = 2 * g + 1;
                windowGroups[phase][t][g] = Lanes4{lower(j), lower(j + 1), upper(j), upper(j + 1)};
            }
            const double middle = (t & 1) ? 0.0 : synthesisWindow[16][(t - p + 16) & 15];
            windowGroups[phase][t][7] = Lanes4{lower(15), middle, upper(15), lower(0)};
        }
    }
    if (processorHasAvx()) synthesisUsePath(SynthesisPath::Avx);
}

SynthesisKernels synthesisKernels(SynthesisPath path) {
    if (path == SynthesisPath::Plain) return {dct64Plain, windowPlain, windowStereoPlain};
    if (!processorHasAvx()) return {};
    return synthesisAvxKernels();
}

bool synthesisUsePath(SynthesisPath path) {
    const SynthesisKernels kernels = synthesisKernels(path);
    if (!kernels.dct64 || !kernels.window || !kernels.windowStereo) return false;
    activeKernels = kernels;
    activePath = path;
    return true;
}

SynthesisPath synthesisCurrentPath() { return activePath; }

int synthesize(const double* subbandSamples, int channel, uint8_t* output, int* outOffset) {
    const SampleLayout layout = channel == 0 ? SampleLayout::Channel0 : SampleLayout::Channel1;
    const int clipped = synthesizeSlot(subbandSamples, channel, output + *outOffset, layout);
    *outOffset += 128;
    return clipped;
}

int synthesizeStereo(const double* left, const double* right, uint8_t* output, int* outOffset) {
    // Both matrixings first: each is a long chain of dependent additions,
    // and side by side the processor overlaps them.
    const int o = (currentDecoder->synthOffset + 15) & 15;
    currentDecoder->synthOffset = o;
    const RingSlot leftSlot = ringSlot(0, o);
    const RingSlot rightSlot = ringSlot(1, o);
    activeKernels.dct64(left, leftSlot.firstColumn, leftSlot.secondColumn);
    activeKernels.dct64(right, rightSlot.firstColumn, rightSlot.secondColumn);
    uint8_t* const out = output + *outOffset;
    *outOffset += 128;
    return activeKernels.windowStereo(leftSlot.half, rightSlot.half, leftSlot.phase, out);
}

int synthesizeMono(const double* subbandSamples, uint8_t* output, int* outOffset) {
    const int clipped = synthesizeSlot(subbandSamples, 0, output + *outOffset, SampleLayout::Mono);
    *outOffset += 64;
    return clipped;
}

}  // namespace sorvil
