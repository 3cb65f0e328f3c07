// The processor-specific forms of the synthesis kernels. Every form gives the
// same samples to the bit; the fastest one the processor supports is chosen by
// makeSynthesisTables. Tests switch between them to prove the equality.
#pragma once

#include <cstdint>

namespace sorvil {

enum class SynthesisPath { Plain, Avx };

// Where a slot's 32 samples go, 16-bit little-endian from the address given:
// packed (mono), or into the first or the second half of 4-byte stereo frames.
enum class SampleLayout { Mono, Channel0, Channel1 };

struct SynthesisKernels {
    // Matrixing of one slot into two ring columns of consecutive rows.
    void (*dct64)(const double* subbandSamples, double* firstColumn, double* secondColumn);
    // Windowing of a ring half (16 columns of 17 rows, column after column)
    // at a phase index (0..7) into 32 samples placed at out as layout says;
    // returns the clip count.
    int (*window)(const double* half, int phase, uint8_t* out, SampleLayout layout);
    // Windowing of both channels' ring halves at one phase index into 32
    // stereo frames, as window for channel 0 and then for channel 1; returns
    // the clip count of both.
    int (*windowStereo)(const double* leftHalf, const double* rightHalf, int phase, uint8_t* out);
};

// The kernels of a path, or null members when this build or this processor
// has no such path.
SynthesisKernels synthesisKernels(SynthesisPath path);
// Selects the path `synthesize` uses; false (and nothing changed) when it is
// not available here.
bool synthesisUsePath(SynthesisPath path);
SynthesisPath synthesisCurrentPath();

// The AVX compilation of the kernels (synthesis_avx.cpp); null members when
// the build is not for x86.
SynthesisKernels synthesisAvxKernels();

}  // namespace sorvil
