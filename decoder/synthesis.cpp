#include "decoder/synthesis.h"

namespace sorvil {

double cosineTables[5][16];
const int windowBase[257] = {};  // TODO
double synthesisWindow[17][32];

void makeSynthesisTables(double) {}  // TODO
int synthesize(const double*, int, uint8_t*, int* outOffset) { *outOffset += 128; return 0; }  // TODO
int synthesizeMono(const double*, uint8_t*, int* outOffset) { *outOffset += 64; return 0; }  // TODO

}  // namespace sorvil
