// Creates an MP3 stream over arbitrary bytes and, when one is made, asks its
// durations and decodes it whole through the poll into a memory audio output:
// once to its end without looping, once with looping for a bounded number of
// polls. Every buffer is exactly as long as the stream announces, so a write
// past its end is reported by the address checker.
#include <cstddef>
#include <cstdint>

#include "mp3stream/mp3stream.h"
#include "mp3stream/player/stream_poll.h"
#include "memory_audio_output.h"

using namespace sorvil;

namespace {

// Enough looping polls to come round past the end of the data once.
constexpr int kMostLoopingPolls = 48;

// Polls until the stream stops; a stream that is not looping must stop within
// a bound that grows with its data (each poll uses up at least one frame or
// ends the data), else the poll is going round without progress.
void playOnce(Mp3Stream* stream, int bufferFrames, bool looping, int pollLimit) {
    const int bufferBytes = stream->outBytesPerFrame * bufferFrames;
    MemoryAudioOutput output(bufferBytes);
    mp3StreamRewind(stream);
    mp3StreamStartPlayback(stream, &output, bufferFrames, looping);
    int polls = 0;
    for (; polls < pollLimit; ++polls) {
        const int result = mp3StreamPoll(stream);
        if (mp3StreamPolledPcmBytes(stream) < 0 || mp3StreamPolledPcmBytes(stream) > bufferBytes) __builtin_trap();
        output.clearDelivered();
        if (result == POLL_FINISHED || result == POLL_LOST_SYNC) break;
        if (result != POLL_OK) __builtin_trap();
    }
    if (!looping && polls == pollLimit) __builtin_trap();
    mp3StreamStop(stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first byte picks the frames per audio buffer; the rest is the image.
    const int bufferFrames = 1 + data[0] % 8;
    const uint8_t* image = data + 1;
    const int length = int(size - 1);

    Mp3Stream* stream = mp3StreamCreate(image, length);
    if (!stream) return 0;
    if (stream->dataStart < image || stream->dataLength <= 0 || stream->dataStart + stream->dataLength > image + length)
        __builtin_trap();
    if (stream->outBytesPerFrame <= 0 || stream->outBytesPerFrame > kFrameOutputBytes) __builtin_trap();
    if (mp3StreamLengthSeconds(stream) < 0) __builtin_trap();
    mp3StreamFrameMs(stream);

    playOnce(stream, bufferFrames, false, stream->dataLength + 16);
    const int buffersOfData = stream->dataLength / stream->frameLength / bufferFrames;
    playOnce(stream, bufferFrames, true, buffersOfData + 3 < kMostLoopingPolls ? buffersOfData + 3 : kMostLoopingPolls);
    mp3StreamDestroy(stream);
    return 0;
}
