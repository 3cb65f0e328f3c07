#include "pcm_decode.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "frame_feed.h"
#include "mp3stream/mp3stream.h"
#include "mp3stream/player/sample_signs.h"
#include "mp3stream/player/stream_poll.h"
#include "platform/audio_output.h"

namespace sorvil {

namespace {

// Input is fed to the decoder in pieces of this size, as a stream reader would.
constexpr int kFramePieceBytes = 4096;

// What a whole decode of the stream gives, as its frame count says.
size_t expectedPcmBytes(const Mp3Stream* stream) {
    if (stream->totalFrames <= 0 || stream->outBytesPerFrame <= 0) return 0;
    return size_t(stream->totalFrames) * size_t(stream->outBytesPerFrame);
}

// The stream's audio output: one buffer, lent to the poll and handed back.
class HandedBackBuffer final : public AudioOutput {
public:
    explicit HandedBackBuffer(int bytes) : buffer_(size_t(std::max(bytes, 0))) {}
    void* getBuffer() override { return buffer_.empty() ? nullptr : buffer_.data(); }
    void freeBuffer() override { handedBack_ = true; }
    void stop() override {}
    // The buffer when the last poll handed it back, else null.
    uint8_t* takeHandedBack() {
        const bool was = handedBack_;
        handedBack_ = false;
        return was ? buffer_.data() : nullptr;
    }

private:
    std::vector<uint8_t> buffer_;
    bool handedBack_ = false;
};

// Frames per audio buffer: the first frames of a buffer are decoded in place,
// the last ones through the poll's own frame area, so both ways are used.
constexpr int kStreamBufferFrames = 4;

}  // namespace

bool PcmSink::takeUnsigned(uint8_t* pcm, int bytes, int channels) {
    copyFlippingSigns(pcm, pcm, size_t(std::max(bytes, 0)));
    return take(pcm, bytes, channels);
}

void DecodedPcm::start(int rate, int firstChannels, size_t expectedBytes) {
    *this = DecodedPcm{};
    sampleRate = rate;
    channels = firstChannels;
    // Room for the frames the stream expects, so the PCM is not moved as it grows.
    bytes.reserve(expectedBytes);
}

bool DecodedPcm::take(const uint8_t* pcm, int size, int frameChannelCount) {
    bytes.insert(bytes.end(), pcm, pcm + size);
    frameBytes.push_back(size);
    frameChannels.push_back(frameChannelCount);
    return true;
}

// A damaged stretch is searched past as far as the stream's poll searches,
// so both ways lose synchronisation at the same byte.
bool decodeFrameByFrame(const uint8_t* image, int length, PcmSink* sink, long* lostSyncAt) {
    Mp3Stream* stream = mp3StreamCreate(image, length);
    if (!stream) return false;
    const uint8_t* data = stream->dataStart;
    const size_t dataLength = size_t(stream->dataLength);
    const long dataOffset = stream->dataOffset;
    sink->start(stream->sampleRate, stream->stereo ? 2 : 1, expectedPcmBytes(stream) + kFrameOutputBytes);
    mp3StreamDestroy(stream);

    auto state = std::make_unique<DecoderState>();
    decoderInit(state.get());
    FeedPlan plan;
    plan.pieceBytes = [](size_t) { return kFramePieceBytes; };
    plan.afterError = AfterError::Resynchronise;
    plan.resyncWindow = kResyncWindow;
    const FeedEnd end = feedDecoder(state.get(), data, dataLength, plan,
                                    [sink](int result, const uint8_t* pcm, int pcmBytes, const DecoderState& decoder) {
                                        return result != DEC_OK || sink->take(pcm, pcmBytes, decoder.frame.channels);
                                    });
    decoderExit(state.get());
    if (lostSyncAt) *lostSyncAt = end.lostSyncAt < 0 ? -1 : dataOffset + end.lostSyncAt;
    return true;
}

// The poll delivers buffers, not frames: each buffer's PCM goes to the sink
// in pieces of the stream's bytes per frame, which are its frames as long as
// they keep the first frame's format.
bool decodeThroughStream(const uint8_t* image, int length, PcmSink* sink, long* lostSyncAt) {
    Mp3Stream* stream = mp3StreamCreate(image, length);
    if (!stream) return false;
    const int frameBytes = stream->outBytesPerFrame;
    const int channels = stream->stereo ? 2 : 1;
    sink->start(stream->sampleRate, channels, expectedPcmBytes(stream));

    HandedBackBuffer output(frameBytes * kStreamBufferFrames);
    mp3StreamStartPlayback(stream, &output, kStreamBufferFrames, false);
    bool taking = true;
    while (taking) {
        const bool more = mp3StreamPoll(stream) == POLL_OK;
        const int pcmBytes = mp3StreamPolledPcmBytes(stream);
        uint8_t* pcm = output.takeHandedBack();
        if (pcm && pcmBytes > 0) {
            for (int done = 0; done < pcmBytes && taking; done += frameBytes)
                taking = sink->takeUnsigned(pcm + done, std::min(frameBytes, pcmBytes - done), channels);
        }
        taking = taking && more;
    }
    // Stopped by the poll already, unless the sink stopped first.
    mp3StreamStop(stream);
    stream->audioStream = nullptr;
    if (lostSyncAt) *lostSyncAt = stream->lostSyncAt;
    mp3StreamDestroy(stream);
    return true;
}

}  // namespace sorvil
