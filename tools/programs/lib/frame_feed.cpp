#include "frame_feed.h"

#include <algorithm>

#include "mp3stream/mp3stream.h"

namespace sorvil {

namespace {

bool fitsTheData(const uint8_t* at, const FrameInfo& frame, void* dataEnd) {
    return frame.frameSize + 4 <= *static_cast<const uint8_t**>(dataEnd) - at;
}

// The next position in [from, before) where a frame that fits in the data
// is followed by another plausible header or ends the data; -1 if none.
long nextChainPosition(const uint8_t* data, size_t length, size_t from, size_t before) {
    before = std::min(before, length);
    if (from >= before) return -1;
    const uint8_t* end = data + length;
    const uint8_t* next = findFrameChain(data + from, data + before, end, end, fitsTheData, &end);
    return next ? long(next - data) : -1;
}

// Forgets the buffered input and any pending header, keeping the filter
// memory and bit reservoir, so that decoding can go on at a new position.
void dropDecoderInput(DecoderState* state) {
    decoderExit(state);
    state->newestBuffer = nullptr;
    state->oldestBuffer = nullptr;
    state->bufferedBytes = 0;
    state->frameSize = 0;
}

}  // namespace

FeedEnd feedDecoder(DecoderState* state, const uint8_t* data, size_t length, const FeedPlan& plan,
                    const FeedHandler& handler) {
    uint8_t output[kFrameOutputBytes];
    size_t fed = 0;         // bytes of data handed to the decoder
    size_t frameStart = 0;  // where the frame being decoded began
    FeedEnd outcome;
    const uint8_t* piece = nullptr;
    int pieceSize = 0;
    auto takePiece = [&] {
        const size_t left = length - fed;
        const int wanted = plan.pieceBytes ? plan.pieceBytes(fed) : 0;
        pieceSize = wanted <= 0 || size_t(wanted) > left ? int(left) : wanted;
        piece = data + fed;
        fed += size_t(pieceSize);
    };
    for (long calls = 0; plan.maxCalls == 0 || calls < plan.maxCalls; ++calls) {
        if (plan.feedEveryCall && fed < length) takePiece();
        if (state->frameSize == 0) frameStart = fed - size_t(pieceSize) - size_t(state->bufferedBytes);
        int pcmBytes = 0;
        const int result = decodeFrame(state, piece, pieceSize, output, kFrameOutputBytes, &pcmBytes);
        piece = nullptr;
        pieceSize = 0;
        if (result == DEC_OK) ++outcome.frames;
        if (!handler(result, output, pcmBytes, *state)) break;
        if (result == DEC_NEED_MORE) {
            if (fed >= length) break;  // the rest is a partial frame
            if (!plan.feedEveryCall) takePiece();
        } else if (result == DEC_ERR) {
            if (plan.afterError == AfterError::Stop) break;
            if (plan.afterError == AfterError::Resynchronise) {
                const size_t window = plan.resyncWindow > 0 ? plan.resyncWindow : length;
                const long next = nextChainPosition(data, length, frameStart + 1, frameStart + window);
                if (next < 0) {
                    outcome.lostSyncAt = long(frameStart);
                    break;
                }
                dropDecoderInput(state);
                fed = size_t(next);
            }
        }
    }
    return outcome;
}

}  // namespace sorvil
