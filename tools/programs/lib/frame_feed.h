// The one loop that feeds a byte stream to decodeFrame in pieces, as a
// streaming reader does, and hands every result on. The decode tool, the
// tests, the benchmarks and the fuzz targets all drive the decoder through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "decoder/decoder_state.h"

namespace sorvil {

enum class AfterError {
    Stop,           // end the feed
    GoOn,           // go on with what follows, as decodeFrame leaves it
    Resynchronise,  // drop the buffered input and go on at the next position
                    // after the failed frame's start where frames chain
};

struct FeedPlan {
    // Bytes of the next piece, given the bytes fed so far; 0 or less (or no
    // function): all that is left, at once.
    std::function<int(size_t fed)> pieceBytes;
    // A new piece with every call while data is left, as a caller that pushes
    // data as it arrives; otherwise a piece only when the decoder asks for it.
    bool feedEveryCall = false;
    AfterError afterError = AfterError::Stop;
    // With Resynchronise: how far past the failed frame's start the next
    // position may lie (0: anywhere in the data). Where none is found,
    // synchronisation is lost and the feed ends.
    size_t resyncWindow = 0;
    // At most this many decodeFrame calls (0: no limit).
    long maxCalls = 0;
};

struct FeedEnd {
    long frames = 0;       // decoded
    long lostSyncAt = -1;  // the failed frame's start where synchronisation was lost, else -1
};

// Every call's outcome: DEC_OK with the frame's PCM, DEC_ERR or
// DEC_NEED_MORE, with the byte count decodeFrame reported. Returning false
// ends the feed.
using FeedHandler = std::function<bool(int result, const uint8_t* pcm, int pcmBytes, const DecoderState& state)>;

// Feeds data[0, length) to the initialised decoder `state` until the data is
// used up and the decoder asks for more, the handler stops it, or an error
// does. The state is left as the last call leaves it (the caller exits it).
FeedEnd feedDecoder(DecoderState* state, const uint8_t* data, size_t length, const FeedPlan& plan,
                    const FeedHandler& handler);

}  // namespace sorvil
