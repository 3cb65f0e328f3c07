// Stream lifetime: playing state, stop, rewind, decoder reset and destroy.
#include <cstdlib>

#include "mp3stream/mp3stream.h"

namespace sorvil {

namespace {

void stopAudioStream(Mp3Stream* stream) {
    if (!mp3StreamIsPlaying(stream)) return;
    stream->audioStream->stop();
    stream->audioStream = nullptr;
}

}  // namespace

int mp3StreamIsPlaying(const Mp3Stream* stream) { return stream->audioStream ? STREAM_TRUE : STREAM_FALSE; }

// The timer callback goes first, so no poll starts on a stopped audio stream.
// An auto-polled stream may be in a poll on the timer thread right now, and
// that poll may stop it at the end of the song: the playing state is read only
// once the callback is removed and a poll under way is over. The removal is
// not done under the lock: the timer thread holds the library's timer lock
// while it waits for this one.
void mp3StreamStop(Mp3Stream* stream) {
    if (!stream->autoPolling) {
        stopAudioStream(stream);
        return;
    }
    if (stream->playbackOutput) stream->playbackOutput->removeTimerCallback();
    std::lock_guard<std::recursive_mutex> polling(autoPollingLock());
    stopAudioStream(stream);
}

std::recursive_mutex& autoPollingLock() {
    static std::recursive_mutex lock;
    return lock;
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
