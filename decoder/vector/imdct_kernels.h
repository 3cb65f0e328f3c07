// The 36-point IMDCT of the hybrid filterbank over several neighbouring
// subbands at once, one subband per lane, written once over GCC's generic
// vectors and compiled twice: two lanes for the baseline processor in
// layer3/imdct.cpp and four lanes for processors with AVX in
// vector/imdct_avx.cpp. Each lane goes through the same IEEE operations in
// the same order as the scalar form, so every compilation gives the same
// values to the bit. Windowing and the overlap-add are folded in; the output
// cosines of the factorisation are folded into the window tables.
//
// Internal linkage on purpose: each file gets its own copy, compiled for its
// own processor.
#pragma once

#include <cstring>

#include "decoder/layer3/tables.h"
#include "decoder/vector/lanes.h"

#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace sorvil {
namespace {

// The two halves t1 (odd inputs) and t2 (even inputs) of one of the four
// paired groups of a nine-point series.
template <typename Real>
struct GroupTerms {
    Real t1[4];
    Real t2[4];
};

// c holds cos18 in the form of Real.
template <typename Real>
SORVIL_KERNEL GroupTerms<Real> nineSeries(const Real* x, const Real* c) {
    const Real x3c3 = x[3] * c[3];
    const Real x6c6 = x[6] * c[6];
    GroupTerms<Real> g;
    g.t1[0] = x[1] * c[1] + x3c3 + x[5] * c[5] + x[7] * c[7];
    g.t2[0] = x[0] + x[2] * c[2] + x[4] * c[4] + x6c6 + x[8] * c[8];
    g.t1[1] = (x[1] - x[5] - x[7]) * c[3];
    g.t2[1] = (x[2] - x[4] - x[8]) * c[6] - x[6] + x[0];
    g.t1[2] = x[1] * c[5] - x3c3 - x[5] * c[7] + x[7] * c[1];
    g.t2[2] = x[0] - x[2] * c[8] - x[4] * c[2] + x6c6 + x[8] * c[4];
    g.t1[3] = x[1] * c[7] - x3c3 + x[5] * c[1] - x[7] * c[5];
    g.t2[3] = x[0] - x[2] * c[4] + x[4] * c[8] + x6c6 - x[8] * c[2];
    return g;
}

// cos18 in every lane, and each window row with the plain window in the lanes
// of even subbands and the signed one in those of odd subbands.
template <typename Lanes>
struct ImdctConstants {
    Lanes cosines[9];
    Lanes windows[4][36];
};

template <typename Lanes>
ImdctConstants<Lanes> imdctConstants() {
    constexpr int kLanes = sizeof(Lanes) / sizeof(double);
    ImdctConstants<Lanes> constants;
    for (int k = 0; k < 9; ++k)
        for (int lane = 0; lane < kLanes; ++lane) constants.cosines[k][lane] = cos18[k];
    for (int row = 0; row < 4; ++row)
        for (int i = 0; i < 36; ++i)
            for (int lane = 0; lane < kLanes; ++lane)
                constants.windows[row][i][lane] = lane % 2 ? imdctWindowSigned[row][i] : imdctWindow[row][i];
    return constants;
}

// Writes the four samples that one member v of the nine-point output feeds:
// s0 is the even series and s1 the odd one (already scaled), a subband per
// lane. The subbands' overlaps are 18 values apart; their outputs are
// neighbours.
template <typename Lanes>
SORVIL_KERNEL void emitMember(int v, Lanes s0, Lanes s1, const double* previousOverlap, double* nextOverlap,
                              const Lanes* windows, double* output) {
    constexpr int kLanes = sizeof(Lanes) / sizeof(double);
    const Lanes sum = s0 + s1;
    const Lanes difference = s0 - s1;
    const Lanes nextHigh = sum * windows[27 + v];
    const Lanes nextLow = sum * windows[26 - v];
    Lanes previousLow;
    Lanes previousHigh;
    #pragma GCC unroll 4
    for (int lane = 0; lane < kLanes; ++lane) {
        nextOverlap[18 * lane + 9 + v] = nextHigh[lane];
        nextOverlap[18 * lane + 8 - v] = nextLow[lane];
        previousLow[lane] = previousOverlap[18 * lane + 8 - v];
        previousHigh[lane] = previousOverlap[18 * lane + 9 + v];
    }
    const Lanes outLow = previousLow + difference * windows[8 - v];
    const Lanes outHigh = previousHigh + difference * windows[9 + v];
    std::memcpy(output + 32 * (8 - v), &outLow, sizeof outLow);
    std::memcpy(output + 32 * (9 + v), &outHigh, sizeof outHigh);
}

// The IMDCT of as many neighbouring subbands as Lanes has lanes, starting with
// an even one (lines and overlaps 18 apart), with window row windowRow.
template <typename Lanes>
SORVIL_KERNEL void imdct36Kernel(const double* lines, const double* previousOverlap, double* nextOverlap,
                                 const ImdctConstants<Lanes>& constants, int windowRow, double* output) {
    constexpr int kLanes = sizeof(Lanes) / sizeof(double);
    // Line k of every subband side by side.
    Lanes line[18];
    #pragma GCC unroll 18
    for (int k = 0; k < 18; ++k)
        #pragma GCC unroll 4
        for (int lane = 0; lane < kLanes; ++lane) line[k][lane] = lines[18 * lane + k];
    // Pre-additions X[k] += X[k - 1] from the top down, so from the lines as
    // passed; then X[k] += X[k - 2] for odd k >= 3, again from the values
    // before this step. a is the even series X[2j], b the odd one X[2j + 1].
    Lanes summed[18];
    summed[0] = line[0];
    #pragma GCC unroll 17
    for (int k = 1; k < 18; ++k) summed[k] = line[k] + line[k - 1];
    Lanes a[9];
    Lanes b[9];
    b[0] = summed[1];
    #pragma GCC unroll 8
    for (int j = 1; j < 9; ++j) b[j] = summed[2 * j + 1] + summed[2 * j - 1];
    #pragma GCC unroll 9
    for (int j = 0; j < 9; ++j) a[j] = summed[2 * j];

    const GroupTerms<Lanes> even = nineSeries(a, constants.cosines);
    const GroupTerms<Lanes> odd = nineSeries(b, constants.cosines);
    const double* h = halfSecant36;
    const Lanes* window = constants.windows[windowRow];

    // The odd series is scaled by h[v], the even one is not.
    #pragma GCC unroll 4
    for (int group = 0; group < 4; ++group) {
        const int lower = group;
        const int upper = 8 - group;
        emitMember(lower, even.t2[group] + even.t1[group], (odd.t2[group] + odd.t1[group]) * h[lower],
                   previousOverlap, nextOverlap, window, output);
        emitMember(upper, even.t2[group] - even.t1[group], (odd.t2[group] - odd.t1[group]) * h[upper],
                   previousOverlap, nextOverlap, window, output);
    }
    emitMember(4, a[0] - a[2] + a[4] - a[6] + a[8], (b[0] - b[2] + b[4] - b[6] + b[8]) * h[4], previousOverlap,
               nextOverlap, window, output);
}

}  // namespace
}  // namespace sorvil
