#include "decoder/layer3/stereo.h"

namespace sorvil {

void applyMidSide(double*) {}  // TODO
void applyIntensityStereo(double*, const int*, const GranuleInfo*, int, int, int) {}  // TODO
void equaliseActiveSubbands(GranuleInfo*, GranuleInfo*) {}  // TODO

}  // namespace sorvil
