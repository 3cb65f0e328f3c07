// Layer III joint stereo: mid/side, intensity stereo and the equalisation of
// the two channels' active subbands.
#pragma once

#include "decoder/layer3/layer3.h"

namespace sorvil {

// spectra: channel 0's 576 lines followed by channel 1's.
void applyMidSide(double* spectra);
// illegalPositions (LSF only, ignored for MPEG-1 where it is always 7): for
// each scale factor entry of channel 1, the position that leaves its band
// unchanged, as readScaleFactorsLsf gives it.
void applyIntensityStereo(double* spectra, const int* scalefactors, const int* illegalPositions,
                          const GranuleInfo* granule, int samplingFrequency, int msStereo, int lsf);
void equaliseActiveSubbands(GranuleInfo* channel0, GranuleInfo* channel1);

}  // namespace sorvil
