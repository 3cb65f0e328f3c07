// The 36-point IMDCT compiled for processors with AVX: four neighbouring
// subbands at once (vector/imdct_kernels.h, the same source as the two-lane
// form). No fused multiply-add: every product is rounded before it is added.
#include "decoder/layer3/imdct.h"

#if defined(__x86_64__) || defined(__i386__)
#include "decoder/vector/avx_begin.h"

#include "decoder/vector/imdct_kernels.h"

namespace sorvil {
namespace {

void imdct36QuadAvx(const double* lines, const double* previousOverlap, double* nextOverlap, int windowRow,
                    double* output) {
    // Made once: the tables are built before any decoding.
    static const ImdctConstants<Lanes4> constants = imdctConstants<Lanes4>();
    imdct36Kernel(lines, previousOverlap, nextOverlap, constants, windowRow, output);
}

}  // namespace
}  // namespace sorvil

#include "decoder/vector/avx_end.h"

namespace sorvil {
QuadImdct imdct36QuadKernel() { return __builtin_cpu_supports("avx") ? imdct36QuadAvx : nullptr; }
}  // namespace sorvil

#else

namespace sorvil {
QuadImdct imdct36QuadKernel() { return nullptr; }
}  // namespace sorvil

#endif
