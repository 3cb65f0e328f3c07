// Layer III scale factor readers; each returns the part2 bits it read.
#pragma once

#include "decoder/layer3/layer3.h"

namespace sorvil {

int readScaleFactorsMpeg1(int scalefactors[39], GranuleInfo* granule);
int readScaleFactorsLsf(int scalefactors[39], GranuleInfo* granule, int intensityChannel);

}  // namespace sorvil
