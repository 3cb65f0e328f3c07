// Layer III alias reduction and hybrid filterbank.
#pragma once

#include "decoder/layer3/layer3.h"

namespace sorvil {

void antialias(double* lines, const GranuleInfo* granule);
// output: the channel's [18][32] rows of hybridOutput.
void hybridFilterbank(double* lines, double (*output)[32], int channel, const GranuleInfo* granule);

}  // namespace sorvil
