// The synthesis kernels compiled for processors with AVX: the same source as
// the plain path (synthesis_kernels.h), with four-lane vectors in one register.
// No fused multiply-add: every product is rounded before it is added, as in
// the plain path.
#include <cstdint>
#include <cstring>

#include "decoder/synthesis_paths.h"

#if defined(__x86_64__) || defined(__i386__)
#pragma GCC push_options
#pragma GCC target("avx")
#include "decoder/synthesis_kernels.h"

namespace sorvil {
namespace {

void dct64Avx(const double* subbandSamples, double* firstColumn, double* secondColumn, int stride) {
    dct64Kernel<Lanes4>(subbandSamples, firstColumn, secondColumn, stride);
}

int windowAvx(const double* half, int phase, uint8_t* out, int sampleStride) {
    return sampleStride == 4 ? windowKernel<Lanes4, 4>(half, phase, out) : windowKernel<Lanes4, 2>(half, phase, out);
}

}  // namespace
}  // namespace sorvil
#pragma GCC pop_options

namespace sorvil {
SynthesisKernels synthesisAvxKernels() { return {dct64Avx, windowAvx}; }
}  // namespace sorvil

#else

namespace sorvil {
SynthesisKernels synthesisAvxKernels() { return {nullptr, nullptr}; }
}  // namespace sorvil

#endif
