#include "decoder/layer3/hybrid.h"

namespace sorvil {

void antialias(double*, const GranuleInfo*) {}  // TODO
void hybridFilterbank(double*, double (*)[32], int, const GranuleInfo*) {}  // TODO

}  // namespace sorvil
