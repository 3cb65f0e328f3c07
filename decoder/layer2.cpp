#include "decoder/layer2.h"

namespace sorvil {

double scaleMultiples[27][64];
uint8_t groupTable3[32][3];
uint8_t groupTable5[128][3];
uint8_t groupTable9[1024][3];

void initLayer2Tables() {}  // TODO
void selectLayer2Table(FrameInfo*) {}  // TODO
void layer2ReadAllocation(uint8_t[32][2], uint8_t[32][2][3], FrameInfo*) {}  // TODO
void layer2ReadSamples(const uint8_t[32][2], double[2][3][32], const uint8_t[32][2][3], FrameInfo*, int) {}  // TODO
int decodeLayer2(FrameInfo*, uint8_t*, int*) { return 0; }  // TODO

}  // namespace sorvil
