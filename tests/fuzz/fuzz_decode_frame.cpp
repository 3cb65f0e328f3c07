// Feeds arbitrary bytes to decodeFrame in pieces whose sizes the input picks,
// a piece with every call as a streaming caller pushes data, and keeps
// decoding after errors.
#include <cstddef>
#include <cstdint>

#include "decoder/decoder_state.h"
#include "frame_feed.h"

using namespace sorvil;

namespace {
DecoderState state;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first byte sets the piece size; the rest is the stream.
    const int pieceSize = 1 + data[0] * 8;
    FeedPlan plan;
    plan.pieceBytes = [pieceSize](size_t) { return pieceSize; };
    plan.feedEveryCall = true;
    plan.afterError = AfterError::GoOn;
    plan.maxCalls = 4096;
    decoderInit(&state);
    feedDecoder(&state, data + 1, size - 1, plan, [](int, const uint8_t*, int pcmBytes, const DecoderState&) {
        if (pcmBytes < 0 || pcmBytes > kFrameOutputBytes) __builtin_trap();
        return true;
    });
    decoderExit(&state);
    return 0;
}
