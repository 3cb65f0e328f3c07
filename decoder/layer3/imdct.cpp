// The two IMDCT kernels of the hybrid filterbank. Both fold windowing and the
// overlap-add into the transform; the output cosines of the factorisation are
// folded into the window tables, so the kernels and those tables go together.
#include "decoder/layer3/imdct.h"

#include <cstring>

#include "decoder/layer3/tables.h"
#include "decoder/vector/lanes.h"

namespace sorvil {

namespace {

// Two doubles side by side (Lanes2): the even and the odd nine-point series
// go through the same operations at once, each lane exactly as it would alone.

// The two halves t1 (odd inputs) and t2 (even inputs) of one of the four
// paired groups of a nine-point series.
template <typename Real>
struct GroupTerms {
    Real t1[4];
    Real t2[4];
};

// c holds cos18 in the form of Real.
template <typename Real>
inline GroupTerms<Real> nineSeries(const Real* x, const Real* c) {
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

// Writes the four samples that one member v of the nine-point output feeds,
// for two subbands side by side: s0 is the even series and s1 the odd one
// (already scaled), each holding the lower subband in lane 0 and the upper
// one in lane 1. The overlaps and windows of the two subbands are 18 and 36
// values apart; their outputs are neighbours.
inline void emitMember(int v, Lanes2 s0, Lanes2 s1, const double* previousOverlap, double* nextOverlap,
                       const Lanes2* windows, double* output) {
    const Lanes2 sum = s0 + s1;
    const Lanes2 difference = s0 - s1;
    const Lanes2 nextHigh = sum * windows[27 + v];
    const Lanes2 nextLow = sum * windows[26 - v];
    nextOverlap[9 + v] = nextHigh[0];
    nextOverlap[18 + 9 + v] = nextHigh[1];
    nextOverlap[8 - v] = nextLow[0];
    nextOverlap[18 + 8 - v] = nextLow[1];
    const Lanes2 previousLow = {previousOverlap[8 - v], previousOverlap[18 + 8 - v]};
    const Lanes2 previousHigh = {previousOverlap[9 + v], previousOverlap[18 + 9 + v]};
    storePair(output + 32 * (8 - v), previousLow + difference * windows[8 - v]);
    storePair(output + 32 * (9 + v), previousHigh + difference * windows[9 + v]);
}

struct CosinePairs {
    Lanes2 values[9];
};

CosinePairs cosinePairs() {
    CosinePairs pairs;
    for (int k = 0; k < 9; ++k) pairs.values[k] = Lanes2{cos18[k], cos18[k]};
    return pairs;
}

// Each window row of the even subbands beside the same row of the odd ones
// (signed), for the pair kernel.
struct WindowPairs {
    Lanes2 rows[4][36];
};

WindowPairs windowPairs() {
    WindowPairs pairs;
    for (int row = 0; row < 4; ++row)
        for (int i = 0; i < 36; ++i) pairs.rows[row][i] = Lanes2{imdctWindow[row][i], imdctWindowSigned[row][i]};
    return pairs;
}

}  // namespace

void imdct36Pair(const double* lines, const double* previousOverlap, double* nextOverlap, int windowRow,
                 double* output) {
    // cos18 in both lanes and the paired windows, made once (the tables are
    // built before any decoding).
    static const CosinePairs c = cosinePairs();
    static const WindowPairs windows = windowPairs();

    // Line k of both subbands side by side.
    Lanes2 line[18];
#pragma GCC unroll 9
    for (int k = 0; k < 18; k += 2) {
        const Lanes2 lower = loadPair(lines + k);
        const Lanes2 upper = loadPair(lines + 18 + k);
        line[k] = __builtin_shufflevector(lower, upper, 0, 2);
        line[k + 1] = __builtin_shufflevector(lower, upper, 1, 3);
    }
    // Pre-additions X[k] += X[k - 1] from the top down, so from the lines as
    // passed; then X[k] += X[k - 2] for odd k >= 3, again from the values
    // before this step. a is the even series X[2j], b the odd one X[2j + 1].
    Lanes2 a[9];
    Lanes2 summed[18];
    summed[0] = line[0];
#pragma GCC unroll 17
    for (int k = 1; k < 18; ++k) summed[k] = line[k] + line[k - 1];
    Lanes2 b[9];
    b[0] = summed[1];
#pragma GCC unroll 8
    for (int j = 1; j < 9; ++j) b[j] = summed[2 * j + 1] + summed[2 * j - 1];
#pragma GCC unroll 9
    for (int j = 0; j < 9; ++j) a[j] = summed[2 * j];

    const GroupTerms<Lanes2> even = nineSeries(a, c.values);
    const GroupTerms<Lanes2> odd = nineSeries(b, c.values);
    const double* h = halfSecant36;
    const Lanes2* window = windows.rows[windowRow];

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

void imdct12(const double* lines, const double* previousOverlap, double* nextOverlap, const double* window,
             double* output) {
    // The 36-sample span: 0..17 is this granule's output, 18..35 the overlap
    // for the next. The three short windows start at 6, 12 and 18.
    double span[36];
    for (int t = 0; t < 18; ++t) span[t] = previousOverlap[t];
    for (int t = 18; t < 36; ++t) span[t] = 0.0;

    for (int u = 0; u < 3; ++u) {
        double y[6];
        for (int j = 0; j < 6; ++j) y[j] = lines[3 * j + u];
        y[5] += y[4];
        y[4] += y[3];
        y[3] += y[2];
        y[2] += y[1];
        y[1] += y[0];
        y[5] += y[3];
        y[3] += y[1];
        y[2] *= cosPi6;
        y[3] *= cosPi6;

        const double d1 = y[0] - y[4];
        const double d2 = (y[1] - y[5]) * halfSecant12[1];
        const double A = d1 + d2;
        const double B = d1 - d2;

        y[0] = y[0] + y[4] * cosPi3;
        const double e4 = y[0] + y[2];
        const double e0 = y[0] - y[2];
        y[1] = y[1] + y[5] * cosPi3;
        const double e5 = (y[1] + y[3]) * halfSecant12[0];
        const double e1 = (y[1] - y[3]) * halfSecant12[2];

        const double E3 = e4 + e5;
        const double E4 = e4 - e5;
        const double E2 = e0 + e1;
        const double E0 = e0 - e1;

        const double z[12] = {E0 * window[0], B * window[1],  E4 * window[2],  E4 * window[3],
                              B * window[4],  E0 * window[5], E2 * window[6],  A * window[7],
                              E3 * window[8], E3 * window[9], A * window[10], E2 * window[11]};
        double* at = span + 6 + 6 * u;
        for (int p = 0; p < 12; ++p) at[p] += z[p];
    }

    for (int t = 0; t < 18; ++t) {
        output[32 * t] = span[t];
        nextOverlap[t] = span[18 + t];
    }
}

}  // namespace sorvil
