#include "decoder/layer3/imdct.h"

namespace sorvil {

void imdct36(double*, const double*, double*, const double*, double*) {}  // TODO
void imdct12(const double*, const double*, double*, const double*, double*) {}  // TODO

}  // namespace sorvil
