#include "pcm_decode.h"

#include <algorithm>
#include <memory>

#include "mp3stream/mp3stream.h"
#include "mp3stream/stream_poll.h"
#include "memory_audio_output.h"

namespace sorvil {

namespace {

// Input is fed to the decoder in pieces of this size, as a stream reader would.
constexpr int kFramePieceBytes = 4096;
// Room for the largest frame output (stereo, 1152 samples) and then some.
constexpr int kFrameOutputBytes = 8192;

// The next position at or after `from` where a plausible header starts a frame
// that is followed by another plausible header or ends the data; -1 if none.
int nextFramePosition(const uint8_t* data, int length, int from) {
    for (int p = std::max(from, 0); p + 4 <= length; ++p) {
        uint32_t word = readBigEndian32(data + p);
        if (!isFrameHeader(word)) continue;
        FrameInfo frame{};
        if (decodeHeader(&frame, word) <= 0 || frame.frameSize <= 0) continue;
        long next = long(p) + frame.frameSize + 4;
        if (next > length) continue;
        if (next + 4 > length || isFrameHeader(readBigEndian32(data + next))) return p;
    }
    return -1;
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

bool decodeFrameByFrame(const uint8_t* image, int length, DecodedPcm* out) {
    *out = DecodedPcm{};
    Mp3Stream* stream = mp3StreamCreate(image, length);
    if (!stream) return false;
    const uint8_t* data = stream->dataStart;
    const int dataLength = stream->dataLength;
    out->sampleRate = stream->sampleRate;
    out->channels = stream->stereo ? 2 : 1;
    // Room for the frames the stream expects, so the PCM is not moved as it grows.
    if (stream->totalFrames > 0 && stream->outBytesPerFrame > 0)
        out->bytes.reserve(size_t(stream->totalFrames) * size_t(stream->outBytesPerFrame) + kFrameOutputBytes);
    mp3StreamDestroy(stream);

    auto state = std::make_unique<DecoderState>();
    decoderInit(state.get());
    std::vector<uint8_t> output(kFrameOutputBytes);
    int fed = 0;         // bytes of data handed to the decoder
    int frameStart = 0;  // where the frame being decoded began
    const uint8_t* piece = nullptr;
    int pieceSize = 0;
    for (;;) {
        if (state->frameSize == 0) frameStart = fed - state->bufferedBytes;
        int outputBytes = 0;
        int result = decodeFrame(state.get(), piece, pieceSize, output.data(), kFrameOutputBytes, &outputBytes);
        fed += pieceSize;
        piece = nullptr;
        pieceSize = 0;
        if (result == DEC_OK) {
            out->bytes.insert(out->bytes.end(), output.begin(), output.begin() + outputBytes);
            out->frameBytes.push_back(outputBytes);
            out->frameChannels.push_back(state->frame.channels);
        } else if (result == DEC_NEED_MORE) {
            if (fed >= dataLength) break;  // the rest is a partial frame
            piece = data + fed;
            pieceSize = std::min(kFramePieceBytes, dataLength - fed);
        } else {
            int next = nextFramePosition(data, dataLength, frameStart + 1);
            if (next < 0) break;
            dropDecoderInput(state.get());
            fed = next;
        }
    }
    decoderExit(state.get());
    return true;
}

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
