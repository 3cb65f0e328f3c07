#include "decoder/layer3/layer3.h"

namespace sorvil {

double spectrum[2][576];
double hybridOutput[2][18][32];

int decodeLayer3(FrameInfo*, uint8_t*, int*) { return 0; }  // TODO
int readSideInfoMpeg1(SideInfo*, int, int, int) { return 0; }  // TODO
int readSideInfoLsf(SideInfo*, int, int, int) { return 0; }  // TODO

}  // namespace sorvil
