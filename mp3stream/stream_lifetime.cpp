// Stream lifetime: playing state, stop, rewind, decoder reset and destroy.
#include <cstdlib>

#include "mp3stream/mp3stream.h"

namespace sorvil {

int mp3StreamIsPlaying(const Mp3Stream* stream) { return stream->audioStream ? STREAM_TRUE : STREAM_FALSE; }

// The timer callback goes first, so no poll starts on a stopped audio stream.
// It goes even before the playing state is read: an auto-polled stream may be
// in a poll on the timer thread right now, and that poll may stop it at its
// end. Removing the callback waits for such a poll, and only then is the
// state read, on any thread.
void mp3StreamStop(Mp3Stream* stream) {
    if (stream->autoPolling) removeTimerCallback(pollTimerCallback, stream);
    if (!mp3StreamIsPlaying(stream)) return;
    stream->audioStream->stop();
    stream->audioStream = nullptr;
}

// The decoder is reset by the next poll, not here.
void mp3StreamRewind(Mp3Stream* stream) {
    stream->dataCursor = stream->dataStart;
    stream->currentFrame = 0;
    stream->needsReset = STREAM_TRUE;
}

int mp3StreamResetDecoder(Mp3Stream* stream) {
    decoderExit(&stream->decoder);
    decoderInit(&stream->decoder);
    stream->needsReset = STREAM_FALSE;
    return 0;
}

// The image stays with the caller, who frees it after the stream is gone.
void mp3StreamDestroy(Mp3Stream* stream) {
    if (!stream) return;
    mp3StreamStop(stream);
    decoderExit(&stream->decoder);
    std::free(stream->xing);
    std::free(stream);
}

}  // namespace sorvil
