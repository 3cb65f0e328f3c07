// Feeds arbitrary bytes to decodeFrame in pieces whose sizes the input picks,
// and keeps decoding after errors, as a streaming caller would.
#include <cstddef>
#include <cstdint>

#include "decoder/decoder_state.h"

using namespace sorvil;

namespace {
DecoderState state;
uint8_t output[8192];
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first byte sets the piece size; the rest is the stream.
    const int pieceSize = 1 + data[0] * 8;
    data += 1;
    size -= 1;
    decoderInit(&state);
    size_t fed = 0;
    int calls = 0;
    while (calls++ < 4096) {
        int outputBytes = 0;
        int result;
        if (fed < size) {
            int piece = static_cast<int>(size - fed < size_t(pieceSize) ? size - fed : size_t(pieceSize));
            result = decodeFrame(&state, data + fed, piece, output, sizeof output, &outputBytes);
            fed += piece;
        } else {
            result = decodeFrame(&state, nullptr, 0, output, sizeof output, &outputBytes);
            if (result == DEC_NEED_MORE) break;
        }
        if (outputBytes < 0 || outputBytes > int(sizeof output)) __builtin_trap();
    }
    decoderExit(&state);
    return 0;
}
