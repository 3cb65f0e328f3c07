// The synthesis kernels compiled for processors with AVX: the same source as
// the plain path (synthesis_kernels.h), with four-lane vectors in one register.
// No fused multiply-add: every product is rounded before it is added, as in
// the plain path.
#include <cstdint>
#include <cstring>

#include "decoder/vector/synthesis_paths.h"

#if defined(__x86_64__) || defined(__i386__)
#include "decoder/vector/avx_begin.h"
#include <immintrin.h>

#include "decoder/vector/synthesis_kernels.h"

namespace sorvil {
namespace {

typedef int64_t Mask4 __attribute__((vector_size(32)));
typedef int32_t Int4 __attribute__((vector_size(16)));

// Four lanes in one register. A pair of ring values reaches both halves of a
// register in the load itself, with no shuffle.
template <>
struct QuadOps<Lanes4> {
    // Four groups of sums for each channel fit the sixteen registers with
    // their operands (see windowSumsOfBoth).
    static constexpr bool kInRegister = true;
    // The value held in a register: the compiler would otherwise fold the
    // load of a vector used twice into both of its uses.
    static Lanes4 inRegister(Lanes4 v) {
        asm("" : "+x"(v));
        return v;
    }
    static Lanes4 join(Lanes2 low, Lanes2 high) {
        return _mm256_insertf128_pd(_mm256_castpd128_pd256(__m128d(low)), __m128d(high), 1);
    }
    static Lanes2 low(Lanes4 v) { return _mm256_castpd256_pd128(__m256d(v)); }
    static Lanes2 high(Lanes4 v) { return _mm256_extractf128_pd(__m256d(v), 1); }
    static Lanes4 load(const Lanes4* at) { return *at; }
    static Lanes4 loadPairTwice(const double* at) { return _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(at)); }
    static Lanes4 withLastLane(Lanes4 v, const double* at) {
        return _mm256_blend_pd(__m256d(v), _mm256_broadcast_sd(at), 0x8);
    }
    using Mask = Mask4;
    // Truncated toward zero, the lowest 32-bit value where out of range.
    static UInt4 truncated(Lanes4 sums) { return UInt4(_mm256_cvttpd_epi32(__m256d(sums))); }
    static UInt4 clippedSamples(Lanes4 sums, Mask4& clipped) {
        // As clippedPair, four lanes at once.
        const __m256d high = _mm256_set1_pd(kHighestSample);
        const __m256d low = _mm256_set1_pd(kLowestSample);
        const Lanes4 kept = _mm256_max_pd(low, _mm256_min_pd(high, __m256d(sums)));
        return UInt4(truncatedSamples<Int4>(sums, kept, clipped));
    }
};

void dct64Avx(const double* subbandSamples, double* firstColumn, double* secondColumn) {
    dct64Kernel<Lanes4>(subbandSamples, firstColumn, secondColumn);
}

int windowAvx(const double* half, int phase, uint8_t* out, SampleLayout layout) {
    switch (layout) {
        case SampleLayout::Channel0: return windowKernel<Lanes4, SampleLayout::Channel0>(half, phase, out);
        case SampleLayout::Channel1: return windowKernel<Lanes4, SampleLayout::Channel1>(half, phase, out);
        default: return windowMonoKernel<Lanes4>(half, phase, out);
    }
}

int windowStereoAvx(const double* leftHalf, const double* rightHalf, int phase, uint8_t* out) {
    return windowStereoKernel<Lanes4>(leftHalf, rightHalf, phase, out);
}

}  // namespace
}  // namespace sorvil
#include "decoder/vector/avx_end.h"

namespace sorvil {
SynthesisKernels synthesisAvxKernels() { return {dct64Avx, windowAvx, windowStereoAvx}; }
}  // namespace sorvil

#else

namespace sorvil {
SynthesisKernels synthesisAvxKernels() { return {nullptr, nullptr, nullptr}; }
}  // namespace sorvil

#endif
