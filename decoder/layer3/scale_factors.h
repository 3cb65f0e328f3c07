// Layer III scale factor readers; each returns the part2 bits it read.
#pragma once

#include "decoder/layer3/layer3.h"

namespace sorvil {

int readScaleFactorsMpeg1(int scalefactors[39], GranuleInfo* granule);
// When illegalPositions is given, each of its entries receives the largest
// value its scale factor's width can hold, 2^slen - 1: in the intensity
// channel that position marks the band as not intensity-coded. Entries
// without bits of their own (the top band) take the value of the band below.
int readScaleFactorsLsf(int scalefactors[39], GranuleInfo* granule, int intensityChannel,
                        int illegalPositions[39] = nullptr);

}  // namespace sorvil
