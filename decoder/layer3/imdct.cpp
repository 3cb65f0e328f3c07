// The two IMDCT kernels of the hybrid filterbank. Both fold windowing and the
// overlap-add into the transform; the output cosines of the factorisation are
// folded into the window tables, so the kernels and those tables go together.
#include "decoder/layer3/imdct.h"

#include "decoder/layer3/tables.h"

namespace sorvil {

namespace {

// The two halves t1 (odd inputs) and t2 (even inputs) of one of the four
// paired groups of a nine-point series.
struct GroupTerms {
    double t1[4];
    double t2[4];
};

GroupTerms nineSeries(const double* x) {
    const double* c = cos18;
    const double x3c3 = x[3] * c[3];
    const double x6c6 = x[6] * c[6];
    GroupTerms g;
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

// Writes the four samples that one member v of the nine-point output feeds.
inline void emitMember(int v, double s0, double s1, const double* previousOverlap, double* nextOverlap,
                       const double* window, double* output) {
    const double sum = s0 + s1;
    const double difference = s0 - s1;
    nextOverlap[9 + v] = sum * window[27 + v];
    nextOverlap[8 - v] = sum * window[26 - v];
    output[32 * (8 - v)] = previousOverlap[8 - v] + difference * window[8 - v];
    output[32 * (9 + v)] = previousOverlap[9 + v] + difference * window[9 + v];
}

}  // namespace

void imdct36(double* lines, const double* previousOverlap, double* nextOverlap, const double* window,
             double* output) {
    double* X = lines;
    for (int k = 17; k >= 1; --k) X[k] += X[k - 1];
    for (int k = 17; k >= 3; k -= 2) X[k] += X[k - 2];

    double a[9];
    double b[9];
    for (int j = 0; j < 9; ++j) {
        a[j] = X[2 * j];
        b[j] = X[2 * j + 1];
    }
    const GroupTerms even = nineSeries(a);
    const GroupTerms odd = nineSeries(b);
    const double* h = halfSecant36;

    for (int group = 0; group < 4; ++group) {
        const int lower = group;
        const int upper = 8 - group;
        emitMember(lower, even.t2[group] + even.t1[group], (odd.t2[group] + odd.t1[group]) * h[lower],
                   previousOverlap, nextOverlap, window, output);
        emitMember(upper, even.t2[group] - even.t1[group], (odd.t2[group] - odd.t1[group]) * h[upper],
                   previousOverlap, nextOverlap, window, output);
    }
    const double middleEven = a[0] - a[2] + a[4] - a[6] + a[8];
    const double middleOdd = (b[0] - b[2] + b[4] - b[6] + b[8]) * h[4];
    emitMember(4, middleEven, middleOdd, previousOverlap, nextOverlap, window, output);
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
