#include "decoder/layer3/huffman.h"

namespace sorvil {

namespace {
const int16_t kZeroTree[1] = {0};
}

const HuffmanTable huffmanTables[32] = {};  // TODO
const HuffmanTable count1Tables[2] = {{0, kZeroTree}, {0, kZeroTree}};  // TODO

int decodeSpectrum(double*, const int*, GranuleInfo*, int, int) { return 0; }  // TODO

}  // namespace sorvil
