// Included first in every file of a clang build of the fuzz targets: the
// shuffles of GCC's vector extensions, which the decoder's vector kernels use
// and clang does not have, as lane-by-lane selection. With one vector, result
// lane i is lane mask[i] of v; with two, lanes of a come first, then those of
// b. Mask values are taken modulo the lane count (twice it for two vectors),
// as GCC does.
#pragma once

#if defined(__clang__)
template <typename Vector, typename Mask>
static inline __attribute__((always_inline)) Vector sorvilVectorShuffle(Vector v, Mask mask) {
    constexpr int lanes = int(sizeof(Vector) / sizeof(v[0]));
    Vector result = v;
    for (int i = 0; i < lanes; ++i) result[i] = v[mask[i] & (lanes - 1)];
    return result;
}

template <typename Vector, typename Mask>
static inline __attribute__((always_inline)) Vector sorvilVectorShuffle(Vector a, Vector b, Mask mask) {
    constexpr int lanes = int(sizeof(Vector) / sizeof(a[0]));
    Vector result = a;
    for (int i = 0; i < lanes; ++i) {
        const int lane = int(mask[i] & (2 * lanes - 1));
        result[i] = lane < lanes ? a[lane] : b[lane - lanes];
    }
    return result;
}

// Variadic: a mask written with braces holds commas.
#define __builtin_shuffle(...) sorvilVectorShuffle(__VA_ARGS__)
#endif
