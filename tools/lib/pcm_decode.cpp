#include "pcm_decode.h"

#include <algorithm>

#include "mp3stream/mp3stream.h"
#include "mp3stream/stream_poll.h"
#include "platform/memory_audio_output.h"

namespace sorvil {

bool decodeFrameByFrame(const uint8_t*, int, DecodedPcm*) { return false; }  // TODO

// Frames per audio buffer: the first frames of a buffer are decoded in place,
// the last ones through the poll's own frame area, so both ways are used.
constexpr int kStreamBufferFrames = 4;

// The poll delivers buffers, not frames: each buffer's PCM is recorded in
// pieces of the stream's bytes per frame, which are its frames as long as
// they keep the first frame's format.
bool decodeThroughStream(const uint8_t* image, int length, DecodedPcm* out) {
    *out = DecodedPcm{};
    Mp3Stream* stream = mp3StreamCreate(image, length);
    if (!stream) return false;
    const int frameBytes = stream->outBytesPerFrame;
    const int channels = stream->stereo ? 2 : 1;
    out->sampleRate = stream->sampleRate;
    out->channels = channels;
    out->bytes.reserve(size_t(std::max(stream->totalFrames, 0)) * size_t(frameBytes));

    MemoryAudioOutput sink(frameBytes * kStreamBufferFrames);
    stream->bufferFrames = kStreamBufferFrames;
    stream->looping = 0;
    stream->endCountdown = 0;
    stream->audioStream = &sink;
    for (;;) {
        const int result = mp3StreamPoll(stream);
        const int pcmBytes = mp3StreamPolledPcmBytes();
        if (!sink.delivered().empty() && pcmBytes > 0) {
            const std::vector<uint8_t>& buffer = sink.delivered().back();
            const size_t start = out->bytes.size();
            out->bytes.insert(out->bytes.end(), buffer.begin(), buffer.begin() + pcmBytes);
            // The buffer holds unsigned samples: flip the sign bits back.
            for (size_t i = start + 1; i < out->bytes.size(); i += 2) out->bytes[i] ^= 0x80;
            for (int done = 0; done < pcmBytes; done += frameBytes) {
                out->frameBytes.push_back(std::min(frameBytes, pcmBytes - done));
                out->frameChannels.push_back(channels);
            }
        }
        sink.clearDelivered();
        if (result != POLL_OK) break;
    }
    // Stopped by the poll already; this only detaches the sink.
    mp3StreamStop(stream);
    stream->audioStream = nullptr;
    mp3StreamDestroy(stream);
    return true;
}

}  // namespace sorvil
