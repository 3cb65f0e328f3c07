#include "decoder/layer3/scale_factors.h"

namespace sorvil {

int readScaleFactorsMpeg1(int[39], GranuleInfo*) { return 0; }  // TODO
int readScaleFactorsLsf(int[39], GranuleInfo*, int) { return 0; }  // TODO

}  // namespace sorvil
