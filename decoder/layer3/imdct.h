// Layer III IMDCT kernels with windowing and overlap-add folded in.
#pragma once

namespace sorvil {

// Two neighbouring subbands at once, an even one and the odd one above it
// (their lines and overlaps 18 apart), with window row windowRow: the plain
// window for the even subband, the signed one for the odd. output: the even
// subband's 18 reals 32 apart, the odd one's beside each.
void imdct36Pair(const double* lines, const double* previousOverlap, double* nextOverlap, int windowRow,
                 double* output);
// The same for four neighbouring subbands, starting with an even one: the
// AVX compilation (vector/imdct_avx.cpp), or null where the processor or the
// build has none. It gives the same values as two pair calls, to the bit.
using QuadImdct = void (*)(const double* lines, const double* previousOverlap, double* nextOverlap, int windowRow,
                           double* output);
QuadImdct imdct36QuadKernel();
// output: 18 reals 32 apart.
void imdct12(const double* lines, const double* previousOverlap, double* nextOverlap, const double* window,
             double* output);

}  // namespace sorvil
