#include "decoder/frame_header.h"

#include "decoder/bit_reader.h"

namespace sorvil {

uint8_t* readPointer = nullptr;
int bitIndex = 0;
const uint8_t* readLimit = nullptr;

const int samplingRates[9] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};
const int bitrates[2][3][16] = {};

int headerIsValid(uint32_t) { return 0; }  // TODO
int decodeHeader(FrameInfo*, uint32_t) { return 0; }  // TODO

}  // namespace sorvil
