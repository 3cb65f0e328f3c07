#include <cstring>

#include "decoder/decoder_state.h"

namespace sorvil {

DecoderState* currentDecoder = nullptr;
bool tablesReady = false;

int decoderInit(DecoderState* state) {
    std::memset(state, 0, sizeof *state);
    state->previousFrameSize = -1;
    state->synthOffset = 1;
    state->frame.singleChannel = -1;
    return 1;
}
void decoderExit(DecoderState*) {}  // TODO
int decodeFrame(DecoderState*, const uint8_t*, int, uint8_t*, int, int*) { return DEC_ERR; }  // TODO
InputBuffer* addInputBuffer(DecoderState*, const uint8_t*, int) { return nullptr; }  // TODO
void removeOldestBuffer(DecoderState*) {}  // TODO
int readInputByte(DecoderState*) { return 0; }  // TODO
void readHeaderWord(DecoderState*) {}  // TODO
int stepBack(int) { return -1; }  // TODO

}  // namespace sorvil
