// The two inner steps of the synthesis, matrixing and windowing, written once
// over GCC's generic vectors and compiled twice: for the baseline processor in
// synthesis.cpp and for processors with AVX in vector/synthesis_avx.cpp. Vector lanes
// only ever hold independent values: every output is formed by the same IEEE
// operations on the same operands, in the same order, as the scalar form, so
// both compilations give the same samples to the bit.
//
// Internal linkage on purpose: each file gets its own copy, compiled for its
// own processor, and the linker never swaps one for the other.
#pragma once

#include <cstdint>
#include <cstring>

#include "decoder/synthesis.h"
#include "decoder/vector/lanes.h"

// The kernels are always inlined, so passing four-lane vectors by value
// never crosses a call boundary whose convention could differ (the note is
// silenced for the whole of the two files that include this one).
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace sorvil {

// Rows of a ring column: row r serves samples r and 32 - r.
constexpr int kRingRows = 17;
// Window coefficients for the windowing kernel, per phase p = 2 * index + 1,
// per ring column t and per group of four samples: groups 0..6 hold samples
// {j, j + 1, 32 - j, 31 - j} for j = 2g + 1 (ring rows j, j + 1, j, j + 1),
// group 7 holds samples {15, 16, 17, 0} (rows 15, 16, 15, 0). Signs and the
// reversed column order of the upper samples are folded in; sample 16 has
// zeros in the odd columns, which it does not use.
extern Lanes4 windowGroups[8][16][8];
// Each cosine table entry in both lanes of a pair.
extern Lanes2 cosinePairs[5][16];
constexpr int kWindowGroupSamples[8][4] = {{1, 2, 31, 30},   {3, 4, 29, 28},   {5, 6, 27, 26},  {7, 8, 25, 24},
                                           {9, 10, 23, 22},  {11, 12, 21, 20}, {13, 14, 19, 18}, {15, 16, 17, 0}};

namespace {

typedef int64_t Mask2 __attribute__((vector_size(16)));
typedef int32_t Int2 __attribute__((vector_size(8)));

// Four lanes as two pairs: the form for processors whose vector registers
// hold two doubles, where GCC's four-lane vectors would go through memory.
struct PairOfPairs {
    Lanes2 low;
    Lanes2 high;
};
SORVIL_KERNEL PairOfPairs operator+(PairOfPairs a, PairOfPairs b) { return {a.low + b.low, a.high + b.high}; }
SORVIL_KERNEL PairOfPairs operator-(PairOfPairs a, PairOfPairs b) { return {a.low - b.low, a.high - b.high}; }
SORVIL_KERNEL PairOfPairs operator*(PairOfPairs a, PairOfPairs b) { return {a.low * b.low, a.high * b.high}; }
SORVIL_KERNEL PairOfPairs& operator+=(PairOfPairs& a, PairOfPairs b) { return a = a + b; }

// The same few operations on both forms of four lanes: join two pairs into
// four lanes, take the low or high pair, load four coefficients, load a pair
// of ring values into both pairs of lanes, and replace the last lane by a
// value from memory. The four-lane register form lives in synthesis_avx.cpp.
template <typename Quad>
struct QuadOps;

template <>
struct QuadOps<PairOfPairs> {
    SORVIL_KERNEL PairOfPairs join(Lanes2 low, Lanes2 high) { return {low, high}; }
    SORVIL_KERNEL Lanes2 low(PairOfPairs v) { return v.low; }
    SORVIL_KERNEL Lanes2 high(PairOfPairs v) { return v.high; }
    SORVIL_KERNEL PairOfPairs load(const Lanes4* at) {
        PairOfPairs v;
        std::memcpy(&v.low, at, sizeof v.low);
        std::memcpy(&v.high, reinterpret_cast<const char*>(at) + sizeof v.low, sizeof v.high);
        return v;
    }
    SORVIL_KERNEL PairOfPairs loadPairTwice(const double* at) {
        const Lanes2 pair = loadPair(at);
        return {pair, pair};
    }
    SORVIL_KERNEL PairOfPairs withLastLane(PairOfPairs v, const double* at) { return {v.low, Lanes2{v.high[0], *at}}; }
};

// The fast DCT of 32 subband samples, X[m] = sum_k x[k] cos(m (2k + 1) pi / 64),
// by Lee's factorisation: each stage turns every problem of size N into a
// problem over the mirrored sums and one over the mirrored differences scaled
// by the stage's cosines, and the outputs recombine as X[2m] = even[m],
// X[2m + 1] = odd[m] + odd[m + 1]. After the first stage the problems of one
// size sit side by side in lanes (2, 4, 8, then 16 of them), so each stage is
// the same few operations on wider vectors. Writes X[16 - r] (r = 0..16) to
// firstColumn[r] and X[16 + r] (r = 0..15) to secondColumn[r].
template <typename Quad>
SORVIL_KERNEL void dct64Kernel(const double* x, double* firstColumn, double* secondColumn) {
    using Q = QuadOps<Quad>;
    // Size 32 -> two problems of 16: lane 0 the sums, lane 1 the differences.
    // Two k at a time: {x[k], x[k + 1]} against {x[31 - k], x[30 - k]}.
    Lanes2 v[16];
    #pragma GCC unroll 8
    for (int k = 0; k < 16; k += 2) {
        const Lanes2 low = loadPair(x + k);
        const Lanes2 mirrored = loadPair(x + 30 - k);
        const Lanes2 high = reversed(mirrored);
        const Lanes2 sums = low + high;
        const Lanes2 differences = (low - high) * loadPair(cosineTables[0] + k);
        v[k] = __builtin_shufflevector(sums, differences, 0, 2);
        v[k + 1] = __builtin_shufflevector(sums, differences, 1, 3);
    }
    // 16 -> 8: four problems, lanes {sums of both, differences of both}.
    Quad w[8];
    #pragma GCC unroll 16
    for (int k = 0; k < 8; ++k) {
        const Lanes2 sum = v[k] + v[15 - k];
        const Lanes2 difference = (v[k] - v[15 - k]) * cosinePairs[1][k];
        w[k] = Q::join(sum, difference);
    }
    // 8 -> 4: eight problems as two groups of four lanes.
    Quad o[4][2];
    #pragma GCC unroll 16
    for (int k = 0; k < 4; ++k) {
        const Quad c = Q::join(cosinePairs[2][k], cosinePairs[2][k]);
        o[k][0] = w[k] + w[7 - k];
        o[k][1] = (w[k] - w[7 - k]) * c;
    }
    // 4 -> 2: sixteen problems as four groups of four lanes.
    Quad h[2][4];
    #pragma GCC unroll 16
    for (int k = 0; k < 2; ++k) {
        const Quad c = Q::join(cosinePairs[3][k], cosinePairs[3][k]);
        #pragma GCC unroll 16
        for (int g = 0; g < 2; ++g) {
            h[k][g] = o[k][g] + o[3 - k][g];
            h[k][2 + g] = (o[k][g] - o[3 - k][g]) * c;
        }
    }
    // Size 2: outputs X[0] = sum, X[1] = scaled difference.
    Quad r0[4], r1[4];
    {
        const Quad c = Q::join(cosinePairs[4][0], cosinePairs[4][0]);
        #pragma GCC unroll 16
        for (int g = 0; g < 4; ++g) {
            r0[g] = h[0][g] + h[1][g];
            r1[g] = (h[0][g] - h[1][g]) * c;
        }
    }
    // Size 4 (eight problems: even parts in groups 0-1, odd parts in 2-3).
    Quad x4[4][2];
    #pragma GCC unroll 16
    for (int g = 0; g < 2; ++g) {
        x4[0][g] = r0[g];
        x4[1][g] = r0[2 + g] + r1[2 + g];
        x4[2][g] = r1[g];
        x4[3][g] = r1[2 + g];
    }
    // Size 8 (four problems: even parts in group 0, odd parts in group 1).
    Quad x8[8];
    #pragma GCC unroll 16
    for (int m = 0; m < 4; ++m) x8[2 * m] = x4[m][0];
    #pragma GCC unroll 16
    for (int m = 0; m < 3; ++m) x8[2 * m + 1] = x4[m][1] + x4[m + 1][1];
    x8[7] = x4[3][1];
    // Size 16 (two problems: even parts in the low pair, odd in the high).
    Lanes2 x16[16];
    #pragma GCC unroll 16
    for (int m = 0; m < 8; ++m) x16[2 * m] = Q::low(x8[m]);
    #pragma GCC unroll 16
    for (int m = 0; m < 7; ++m) x16[2 * m + 1] = Q::high(x8[m]) + Q::high(x8[m + 1]);
    x16[15] = Q::high(x8[7]);
    // Size 32: even outputs from lane 0, odd outputs recombined from lane 1,
    // as pairs {X[2m], X[2m + 1]}: lane 0 gains -0.0, which leaves every
    // double as it is, lane 1 gains lane 1 of the next pair.
    const Lanes2 minusZeros = {-0.0, -0.0};
    Lanes2 X[16];
    #pragma GCC unroll 16
    for (int m = 0; m < 15; ++m) X[m] = x16[m] + __builtin_shufflevector(minusZeros, x16[m + 1], 0, 3);
    X[15] = x16[15];

    // Rows 1.. of the first column run down from X[15] to X[0]: each pair
    // reversed. The second column runs up from X[16].
    firstColumn[0] = X[8][0];
    #pragma GCC unroll 8
    for (int m = 0; m < 8; ++m) {
        const Lanes2 reversed = __builtin_shufflevector(X[7 - m], X[7 - m], 1, 0);
        std::memcpy(firstColumn + 1 + 2 * m, &reversed, sizeof reversed);
    }
    #pragma GCC unroll 8
    for (int m = 0; m < 8; ++m) std::memcpy(secondColumn + 2 * m, &X[8 + m], sizeof X[8 + m]);
}

SORVIL_KERNEL void storeSample(uint8_t* at, int32_t sample) {
    const uint16_t bits = static_cast<uint16_t>(sample);
    at[0] = static_cast<uint8_t>(bits & 0xFF);
    at[1] = static_cast<uint8_t>(bits >> 8);
}

// Clips, counts and stores two sums as the samples numbered in `samples`:
// above 32767.0 or below -32768.0 a sum is clipped, otherwise truncated
// toward zero, as the scalar conversion does.
template <int SampleStride>
SORVIL_KERNEL Mask2 storeClipped(Lanes2 sums, const int* samples, uint8_t* out) {
    const Lanes2 high = {32767.0, 32767.0};
    const Lanes2 low = {-32768.0, -32768.0};
    const Mask2 above = sums > high;
    const Mask2 below = sums < low;
    Lanes2 kept = above ? high : sums;
    kept = below ? low : kept;
    const Int2 values = __builtin_convertvector(kept, Int2);
    storeSample(out + samples[0] * SampleStride, values[0]);
    storeSample(out + samples[1] * SampleStride, values[1]);
    return above + below;  // -1 per clipped sum
}

// Windowing and summation of one slot from the ring half `h` (16 columns of
// 17 rows, column after column) at phase index `phase`: every sample's sum
// starts at 0.0 and runs over the columns t = 0..15 in order, four samples
// side by side. Rows j and j + 1 lie side by side in a column, and their pair
// is loaded once into both halves of the four lanes. Sample j is written as
// 16-bit little-endian at out + j * SampleStride. Returns the clip count.
template <typename Quad, int SampleStride>
SORVIL_KERNEL int windowKernel(const double* h, int phase, uint8_t* out) {
    using Q = QuadOps<Quad>;
    const Lanes4(*coefficients)[8] = windowGroups[phase];
    Quad sums[8];
    #pragma GCC unroll 8
    for (int g = 0; g < 8; ++g) sums[g] = Q::join(Lanes2{0.0, 0.0}, Lanes2{0.0, 0.0});
    // Not unrolled: unrolled, the compiler would hoist all 128 loads and spill them.
    #pragma GCC unroll 1
    for (int t = 0; t < 16; ++t) {
        const double* column = h + t * kRingRows;
        #pragma GCC unroll 8
        for (int g = 0; g < 7; ++g)
            sums[g] += Q::load(&coefficients[t][g]) * Q::loadPairTwice(column + 2 * g + 1);
        // Rows 15 and 16, and row 0 in the last lane.
        sums[7] += Q::load(&coefficients[t][7]) * Q::withLastLane(Q::loadPairTwice(column + 15), column);
    }

    Mask2 clips = {0, 0};
    #pragma GCC unroll 8
    for (int g = 0; g < 8; ++g) {
        clips += storeClipped<SampleStride>(Q::low(sums[g]), kWindowGroupSamples[g], out);
        clips += storeClipped<SampleStride>(Q::high(sums[g]), kWindowGroupSamples[g] + 2, out);
    }
    return -int(clips[0] + clips[1]);
}

#undef SORVIL_KERNEL

}  // namespace

}  // namespace sorvil
