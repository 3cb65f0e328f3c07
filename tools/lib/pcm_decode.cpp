#include "pcm_decode.h"

namespace sorvil {

bool decodeFrameByFrame(const uint8_t*, int, DecodedPcm*) { return false; }  // TODO
bool decodeThroughStream(const uint8_t*, int, DecodedPcm*) { return false; }  // TODO

}  // namespace sorvil
