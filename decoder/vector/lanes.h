// Two and four doubles side by side in GCC's generic vectors, and the lane
// helpers that the vector kernels share (synthesis, antialias, IMDCT). Lanes
// only ever hold independent values, each formed by the same IEEE operations
// in the same order as the scalar form, so vector code gives the same samples
// to the bit.
//
// Internal linkage on purpose: a file compiled for another processor (the AVX
// synthesis kernels) gets its own copies, and the linker never swaps one for
// the other.
#pragma once

#include <cstring>

namespace sorvil {

typedef double Lanes2 __attribute__((vector_size(16)));
typedef double Lanes4 __attribute__((vector_size(32)));

#define SORVIL_KERNEL static inline __attribute__((always_inline))

namespace {

SORVIL_KERNEL Lanes2 loadPair(const double* at) {
    Lanes2 v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

SORVIL_KERNEL void storePair(double* at, Lanes2 v) { std::memcpy(at, &v, sizeof v); }

SORVIL_KERNEL Lanes2 reversed(Lanes2 v) { return __builtin_shufflevector(v, v, 1, 0); }

}  // namespace

}  // namespace sorvil
