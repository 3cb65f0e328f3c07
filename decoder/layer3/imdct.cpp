// The two IMDCT kernels of the hybrid filterbank: the 36-point one for a pair
// of subbands (its source, shared with the AVX form, is
// vector/imdct_kernels.h) and the 12-point one of short blocks. Both fold
// windowing and the overlap-add into the transform; the output cosines of the
// factorisation are folded into the window tables, so the kernels and those
// tables go together.
#include "decoder/layer3/imdct.h"

#include <cstring>

#include "decoder/layer3/tables.h"
#include "decoder/vector/imdct_kernels.h"

namespace sorvil {

void imdct36Pair(const double* lines, const double* previousOverlap, double* nextOverlap, int windowRow,
                 double* output) {
    // Made once: the tables are built before any decoding.
    static const ImdctConstants<Lanes2> constants = imdctConstants<Lanes2>();
    imdct36Kernel(lines, previousOverlap, nextOverlap, constants, windowRow, output);
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
