// Layer III joint stereo: mid/side, intensity stereo and the equalisation of
// the two channels' active subbands.
#pragma once

#include "decoder/layer3/layer3.h"

namespace sorvil {

// spectra: channel 0's 576 lines followed by channel 1's.
void applyMidSide(double* spectra);
void applyIntensityStereo(double* spectra, const int* scalefactors, const GranuleInfo* granule,
                          int samplingFrequency, int msStereo, int lsf);
void equaliseActiveSubbands(GranuleInfo* channel0, GranuleInfo* channel1);

}  // namespace sorvil
