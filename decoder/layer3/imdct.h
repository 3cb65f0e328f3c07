// Layer III IMDCT kernels with windowing and overlap-add folded in.
#pragma once

namespace sorvil {

// output: 18 reals 32 apart.
void imdct36(double* lines, const double* previousOverlap, double* nextOverlap, const double* window,
             double* output);
void imdct12(const double* lines, const double* previousOverlap, double* nextOverlap, const double* window,
             double* output);

}  // namespace sorvil
