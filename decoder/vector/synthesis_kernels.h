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

#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "decoder/synthesis.h"
#include "decoder/vector/lanes.h"
#include "decoder/vector/synthesis_paths.h"

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
typedef uint32_t UInt4 __attribute__((vector_size(16)));

// The 16-bit range of a sample; a sum above or below it is clipped.
constexpr double kHighestSample = 32767.0;
constexpr double kLowestSample = -32768.0;

// The sums, clipped as `kept`, truncated toward zero as the scalar conversion
// does. A lane of clipped turns nonzero where the kept value is not the sum,
// so that the rare slot with a clip (or a NaN) is counted apart.
template <typename Ints, typename Real, typename Mask>
SORVIL_KERNEL Ints truncatedSamples(Real sums, Real kept, Mask& clipped) {
    clipped |= kept != sums;
    return __builtin_convertvector(kept, Ints);
}

// Sums clipped to the sample range: h < s ? h : s, then l > k ? l : k, so a
// NaN sum is kept. These are exactly x86's min and max, which take their
// second operand when either is NaN; elsewhere the selections themselves.
SORVIL_KERNEL Lanes2 clippedPair(Lanes2 sums) {
    const Lanes2 high = {kHighestSample, kHighestSample};
    const Lanes2 low = {kLowestSample, kLowestSample};
#if defined(__SSE2__)
    return _mm_max_pd(low, _mm_min_pd(high, sums));
#else
    const Lanes2 belowHigh = high < sums ? high : sums;
    return low > belowHigh ? low : belowHigh;
#endif
}

SORVIL_KERNEL int clipCount(Lanes2 sums) {
    int count = 0;
    for (int lane = 0; lane < 2; ++lane) count += sums[lane] > kHighestSample || sums[lane] < kLowestSample;
    return count;
}

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
// value from memory; clip and truncate the four sums into 32-bit integers,
// marking a clip in a mask of the form's own width. The four-lane
// register form lives in synthesis_avx.cpp.
template <typename Quad>
struct QuadOps;

template <>
struct QuadOps<PairOfPairs> {
    // Eight sums of this form fill the sixteen registers of the processor.
    static constexpr bool kInRegister = false;
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
    using Mask = Mask2;
    // Truncated toward zero, the lowest 32-bit value where out of range.
    SORVIL_KERNEL UInt4 truncated(PairOfPairs sums) {
#if defined(__SSE2__)
        return UInt4(_mm_unpacklo_epi64(_mm_cvttpd_epi32(__m128d(sums.low)), _mm_cvttpd_epi32(__m128d(sums.high))));
#else
        Mask2 ignored = {};
        return clippedSamples(sums, ignored);
#endif
    }
    SORVIL_KERNEL UInt4 clippedSamples(PairOfPairs sums, Mask2& clipped) {
        const Int2 low = truncatedSamples<Int2>(sums.low, clippedPair(sums.low), clipped);
        const Int2 high = truncatedSamples<Int2>(sums.high, clippedPair(sums.high), clipped);
        return UInt4(__builtin_shufflevector(low, high, 0, 1, 2, 3));
    }
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

// Group g of the window sums holds samples {j, j + 1, 32 - j, 31 - j} for
// j = 2g + 1, and group 7 holds {15, 16, 17, 0}: the low pairs run through
// samples 1..16 and the high pairs, read backwards, through 0 and 17..31.
// Puts the 32 samples in order, four to a vector.
SORVIL_KERNEL void inSampleOrder(const UInt4 groups[8], UInt4 ordered[8]) {
    UInt4 low[4];   // samples 4k + 1 .. 4k + 4
    UInt4 high[4];  // samples 31 - 4k down to 28 - 4k; the last ends 19, 18, 17, 0
    #pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        low[k] = __builtin_shufflevector(groups[2 * k], groups[2 * k + 1], 0, 1, 4, 5);
        high[k] = __builtin_shufflevector(groups[2 * k], groups[2 * k + 1], 2, 3, 6, 7);
    }
    ordered[0] = __builtin_shufflevector(high[3], low[0], 3, 4, 5, 6);
    #pragma GCC unroll 3
    for (int k = 1; k < 4; ++k) ordered[k] = __builtin_shufflevector(low[k - 1], low[k], 3, 4, 5, 6);
    ordered[4] = __builtin_shufflevector(low[3], high[3], 3, 6, 5, 4);
    #pragma GCC unroll 3
    for (int k = 5; k < 8; ++k) ordered[k] = __builtin_shufflevector(high[7 - k], high[7 - k], 3, 2, 1, 0);
}

SORVIL_KERNEL void storeSample(uint8_t* at, uint32_t sample) {
    at[0] = static_cast<uint8_t>(sample & 0xFF);
    at[1] = static_cast<uint8_t>((sample >> 8) & 0xFF);
}

// Writes the 32 samples (their low 16 bits) as 16-bit little-endian values:
// packed for mono, or into one half of each 4-byte stereo frame, the other
// half left as it was. A little-endian processor merges whole vectors of
// frames instead of storing each sample on its own.
template <SampleLayout Layout>
SORVIL_KERNEL void storeSamples(const UInt4 ordered[8], uint8_t* out) {
    if constexpr (std::endian::native != std::endian::little) {
        const int stride = Layout == SampleLayout::Mono ? 2 : 4;
        uint8_t* first = out + (Layout == SampleLayout::Channel1 ? 2 : 0);
        for (int j = 0; j < 32; ++j) storeSample(first + j * stride, ordered[j / 4][j % 4]);
        return;
    }
    const UInt4 lowHalves = UInt4{} + 0xFFFFu;
    if constexpr (Layout == SampleLayout::Mono) {
        #pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) {
            const UInt4 even = __builtin_shufflevector(ordered[2 * k], ordered[2 * k + 1], 0, 2, 4, 6);
            const UInt4 odd = __builtin_shufflevector(ordered[2 * k], ordered[2 * k + 1], 1, 3, 5, 7);
            const UInt4 frames = (even & lowHalves) | (odd << 16);
            std::memcpy(out + 16 * k, &frames, sizeof frames);
        }
    } else {
        #pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) {
            UInt4 frames;
            std::memcpy(&frames, out + 16 * k, sizeof frames);
            if constexpr (Layout == SampleLayout::Channel0)
                frames = (frames & ~lowHalves) | (ordered[k] & lowHalves);
            else
                frames = (frames & lowHalves) | (ordered[k] << 16);
            std::memcpy(out + 16 * k, &frames, sizeof frames);
        }
    }
}

typedef int16_t Short8 __attribute__((vector_size(16)));

// Eight 32-bit samples, four from each vector, in 16-bit lanes, each held to
// the 16-bit range.
SORVIL_KERNEL Short8 saturatedPack(UInt4 low, UInt4 high) {
#if defined(__SSE2__)
    return Short8(_mm_packs_epi32(__m128i(low), __m128i(high)));
#else
    typedef int32_t Int8 __attribute__((vector_size(32)));
    Int8 both = Int8(__builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7));
    both = both > 32767 ? 32767 : both;
    both = both < -32768 ? -32768 : both;
    return __builtin_convertvector(both, Short8);
#endif
}

// Whether any of the 32 samples is 32767 or -32768.
SORVIL_KERNEL bool onLimit(const Short8 samples[4]) {
    Short8 highest = samples[0];
    Short8 lowest = samples[0];
    #pragma GCC unroll 3
    for (int k = 1; k < 4; ++k) {
        highest = highest > samples[k] ? highest : samples[k];
        lowest = lowest < samples[k] ? lowest : samples[k];
    }
    const Short8 limits = (highest == 32767) | (lowest == -32768);
    uint64_t halves[2];
    std::memcpy(halves, &limits, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

// Windowing and summation of one slot from the ring half `h` (16 columns of
// 17 rows, column after column) at phase index `phase`: every sample's sum
// starts at 0.0 and runs over the columns t = 0..15 in order, four samples
// side by side. Rows j and j + 1 lie side by side in a column, and their pair
// is loaded once into both halves of the four lanes.
template <typename Quad>
SORVIL_KERNEL void windowSums(const double* h, int phase, Quad sums[8]) {
    using Q = QuadOps<Quad>;
    const Lanes4(*coefficients)[8] = windowGroups[phase];
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
}

// windowSums for groups First .. First + 3 of both channels at once: the
// channels share the phase, so each coefficient vector is loaded once for
// the two. Half of the groups at a time keeps the sums in registers.
template <typename Quad, int First>
SORVIL_KERNEL void windowSumsOfBoth(const double* left, const double* right, int phase, Quad leftSums[8],
                                    Quad rightSums[8]) {
    using Q = QuadOps<Quad>;
    const Lanes4(*coefficients)[8] = windowGroups[phase];
    #pragma GCC unroll 4
    for (int g = First; g < First + 4; ++g)
        leftSums[g] = rightSums[g] = Q::join(Lanes2{0.0, 0.0}, Lanes2{0.0, 0.0});
    #pragma GCC unroll 1
    for (int t = 0; t < 16; ++t) {
        const double* leftColumn = left + t * kRingRows;
        const double* rightColumn = right + t * kRingRows;
        #pragma GCC unroll 4
        for (int g = First; g < First + 4; ++g) {
            const Quad c = Q::inRegister(Q::load(&coefficients[t][g]));
            if (g < 7) {
                leftSums[g] += c * Q::loadPairTwice(leftColumn + 2 * g + 1);
                rightSums[g] += c * Q::loadPairTwice(rightColumn + 2 * g + 1);
            } else {
                leftSums[g] += c * Q::withLastLane(Q::loadPairTwice(leftColumn + 15), leftColumn);
                rightSums[g] += c * Q::withLastLane(Q::loadPairTwice(rightColumn + 15), rightColumn);
            }
        }
    }
}

// The exact form of the windowing: the samples go to out as Layout says,
// and the clips are counted. Returns the clip count.
template <typename Quad, SampleLayout Layout>
SORVIL_KERNEL int windowKernel(const double* h, int phase, uint8_t* out) {
    using Q = QuadOps<Quad>;
    Quad sums[8];
    windowSums(h, phase, sums);

    typename Q::Mask clipped = {};
    UInt4 groups[8];
    #pragma GCC unroll 8
    for (int g = 0; g < 8; ++g) groups[g] = Q::clippedSamples(sums[g], clipped);
    UInt4 ordered[8];
    inSampleOrder(groups, ordered);
    storeSamples<Layout>(ordered, out);

    bool anyClipped = false;
    #pragma GCC unroll 4
    for (unsigned lane = 0; lane < sizeof clipped / sizeof clipped[0]; ++lane) anyClipped |= clipped[lane] != 0;
    if (!anyClipped) return 0;
    int count = 0;
    for (int g = 0; g < 8; ++g) count += clipCount(Q::low(sums[g])) + clipCount(Q::high(sums[g]));
    return count;
}

// The quick form for the common slot, where no sum reaches the limits of
// the sample range: the sums truncated toward zero, then packed with
// saturation into 16-bit lanes in sample order, eight to a vector. Inside
// the range this is the clipped and truncated sum; a sum that clips
// saturates to a limit, and so does one too large for 32 bits, or a NaN,
// whose conversion gives the lowest 32-bit value. Returns true when any
// sample lies on a limit, and then the slot is taken again in the exact
// form, which counts the clips and keeps the low 16 bits of a NaN's
// conversion.
template <typename Quad>
SORVIL_KERNEL bool packedSamples(const Quad sums[8], Short8 packed[4]) {
    using Q = QuadOps<Quad>;
    UInt4 groups[8];
    #pragma GCC unroll 8
    for (int g = 0; g < 8; ++g) groups[g] = Q::truncated(sums[g]);
    UInt4 ordered[8];
    inSampleOrder(groups, ordered);
    #pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) packed[k] = saturatedPack(ordered[2 * k], ordered[2 * k + 1]);
    return onLimit(packed);
}

// One channel's slot packed at out, 2 bytes a sample. Returns the clip count.
template <typename Quad>
SORVIL_KERNEL int windowMonoKernel(const double* h, int phase, uint8_t* out) {
    if constexpr (std::endian::native != std::endian::little) return windowKernel<Quad, SampleLayout::Mono>(h, phase, out);
    Quad sums[8];
    windowSums(h, phase, sums);
    Short8 samples[4];
    const bool limited = packedSamples(sums, samples);
    std::memcpy(out, samples, sizeof samples);
    return limited ? windowKernel<Quad, SampleLayout::Mono>(h, phase, out) : 0;
}

// Both channels' slots (the same phase in each channel's ring) as 32 stereo
// frames at out: each channel's 32 samples are formed whole, then
// interleaved, so the frames are written once. Returns the clip count.
template <typename Quad>
SORVIL_KERNEL int windowStereoKernel(const double* left, const double* right, int phase, uint8_t* out) {
    if constexpr (std::endian::native != std::endian::little)
        return windowKernel<Quad, SampleLayout::Channel0>(left, phase, out) +
               windowKernel<Quad, SampleLayout::Channel1>(right, phase, out);
    Short8 leftSamples[4];
    Short8 rightSamples[4];
    bool leftLimited, rightLimited;
    if constexpr (QuadOps<Quad>::kInRegister) {
        Quad leftSums[8];
        Quad rightSums[8];
        windowSumsOfBoth<Quad, 0>(left, right, phase, leftSums, rightSums);
        windowSumsOfBoth<Quad, 4>(left, right, phase, leftSums, rightSums);
        leftLimited = packedSamples(leftSums, leftSamples);
        rightLimited = packedSamples(rightSums, rightSamples);
    } else {
        Quad sums[8];
        windowSums(left, phase, sums);
        leftLimited = packedSamples(sums, leftSamples);
        windowSums(right, phase, sums);
        rightLimited = packedSamples(sums, rightSamples);
    }
    #pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        const Short8 low = __builtin_shufflevector(leftSamples[k], rightSamples[k], 0, 8, 1, 9, 2, 10, 3, 11);
        const Short8 high = __builtin_shufflevector(leftSamples[k], rightSamples[k], 4, 12, 5, 13, 6, 14, 7, 15);
        std::memcpy(out + 32 * k, &low, sizeof low);
        std::memcpy(out + 32 * k + 16, &high, sizeof high);
    }
    int clips = 0;
    if (leftLimited) clips += windowKernel<Quad, SampleLayout::Channel0>(left, phase, out);
    if (rightLimited) clips += windowKernel<Quad, SampleLayout::Channel1>(right, phase, out);
    return clips;
}

#undef SORVIL_KERNEL

}  // namespace

}  // namespace sorvil
