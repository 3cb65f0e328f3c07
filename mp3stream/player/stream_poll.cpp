// The stream decoding loop: each poll fills the next free audio buffer with
// decoded frames, turns the samples unsigned and hands the buffer back. It
// also runs the end countdown, looping, the reset after a rewind and the
// search for the next frame after a decoding error.
#include "mp3stream/player/stream_poll.h"

#include <algorithm>
#include <cstring>

#include "decoder/frame_header.h"
#include "mp3stream/player/sample_signs.h"

namespace sorvil {

namespace {

// Input piece fed to the decoder for streams with a Xing header, whose first
// frame says nothing about the size of the others.
constexpr int kXingPieceBytes = 1792;
// Silent buffers delivered after the end of the data before stopping.
constexpr int kEndSilentBuffers = 2;
// A looping stream that comes round to its start this often without a single
// decoded sample in between holds nothing playable; without a limit the poll
// would go round forever.
constexpr int kFruitlessLoopLimit = 3;

int bytesUsed(const Mp3Stream* stream) { return int(stream->dataCursor - stream->dataStart); }

// Whether the decoder's input chain already holds a whole frame that the
// next decodeOneFrame decodes without new input. A piece fed near the end
// (1792 bytes for a stream with a Xing header) can hold several frames.
bool decoderHoldsWholeFrame(const Mp3Stream* stream) {
    const DecoderState& decoder = stream->decoder;
    if (decoder.frameSize > 0)
        return isFrameHeader(decoder.header) && decoder.bufferedBytes >= decoder.frame.frameSize;
    if (decoder.bufferedBytes < 4) return false;
    uint32_t word = 0;
    int wordBytes = 0;
    for (const InputBuffer* buffer = decoder.oldestBuffer; buffer && wordBytes < 4; buffer = buffer->next)
        for (int i = buffer->position; i < buffer->size && wordBytes < 4; ++i, ++wordBytes)
            word = word << 8 | buffer->data[i];
    if (wordBytes < 4 || !isFrameHeader(word) || !headerIsValid(word)) return false;
    FrameInfo frame{};
    if (decodeHeader(&frame, word) <= 0 || frame.frameSize <= 0) return false;
    return decoder.bufferedBytes - 4 >= frame.frameSize;
}

// Where the frame the next decode works on begins: the decoder may hold its
// first bytes, fed with the frame before, and its header already read. (Just
// after a loop point they lie at the end of the data: the start is named.)
const uint8_t* nextFrameStart(const Mp3Stream* stream) {
    const DecoderState& decoder = stream->decoder;
    const int held = decoder.bufferedBytes + (decoder.frameSize > 0 ? 4 : 0);
    return stream->dataStart + std::max(0, bytesUsed(stream) - held);
}

// All data fed and no whole frame left in the decoder. Frames fed but not yet
// decoded are played before the stream ends or loops, so that the last frames
// of a stream are not dropped.
bool dataEnded(const Mp3Stream* stream) {
    return bytesUsed(stream) >= stream->dataLength && !decoderHoldsWholeFrame(stream);
}

// What the decoded frames did not fill is silence. It is cleared here rather
// than before decoding: whatever a failed decode left past the decoded bytes
// goes too, and the bytes the frames filled are written only once.
void handBack(Mp3Stream* stream, uint8_t* buffer, int pcmBytes) {
    const int bufferBytes = std::max(0, stream->outBytesPerFrame * stream->bufferFrames);
    if (pcmBytes < bufferBytes) std::memset(buffer + pcmBytes, 0, size_t(bufferBytes - pcmBytes));
    flipSampleSigns(stream, buffer);
    stream->polledPcmBytes = pcmBytes;
    stream->audioStream->freeBuffer();
}

// Decodes the frame at dataCursor into the buffer at position, never past
// room bytes; decodedBytes is what the buffer received. A frame that might
// not fit the room left (a stream that switches from one channel to two
// decodes twice the bytes it announced) is decoded into the stream's frame
// area first and only as much as fits is copied into the buffer. While
// frames fit, the buffer receives exactly what decoding in place gives.
int decodeIntoBuffer(Mp3Stream* stream, uint8_t* position, int room, int* decodedBytes, int* consumedBytes) {
    if (room >= kFrameOutputBytes)
        return decodeOneFrame(stream, stream->dataCursor, position, decodedBytes, consumedBytes);
    const int result = decodeOneFrame(stream, stream->dataCursor, stream->frameArea, decodedBytes, consumedBytes);
    *decodedBytes = std::clamp(*decodedBytes, 0, room);
    std::memcpy(position, stream->frameArea, size_t(*decodedBytes));
    return result;
}

// Loop point of a looping stream: back to the first frame, decoder kept.
void wrapRound(Mp3Stream* stream) {
    mp3StreamRewind(stream);
    stream->needsReset = 0;
}

// Where a frame found by the search after a decoding error goes.
struct Resync {
    Mp3Stream* stream;
    uint8_t* position;
    int room;
    int* decodedBytes;
    int* consumedBytes;
};

// A candidate is taken when it decodes, from a reset decoder, at dataCursor.
bool decodesAfterReset(const uint8_t* candidate, const FrameInfo&, void* context) {
    const auto& resync = *static_cast<const Resync*>(context);
    resync.stream->dataCursor = candidate;
    mp3StreamResetDecoder(resync.stream);
    return decodeIntoBuffer(resync.stream, resync.position, resync.room, resync.decodedBytes,
                            resync.consumedBytes) == FRAME_DONE;
}

// Looks for the next frame that is followed by a plausible header (or by the
// end of the data) and decodes, at most kResyncWindow bytes on from
// dataCursor, and no further than the data left unless the stream loops. The
// frame found is decoded at position and dataCursor left on it.
bool findNextFrame(Mp3Stream* stream, int bytesRemaining, uint8_t* position, int room, int* decodedBytes,
                   int* consumedBytes, int* fruitlessLoops) {
    int window = kResyncWindow;
    if (!stream->looping && bytesRemaining < window) window = bytesRemaining;
    const uint8_t* dataEnd = stream->dataStart + stream->dataLength;
    Resync resync{stream, position, room, decodedBytes, consumedBytes};
    for (long tried = 0; tried < window;) {
        // Past the end of the data a looping search carries on from the
        // start; wrapping whenever the end is met keeps it inside the data
        // even when the window is longer than the data.
        long run = window - tried;
        if (stream->looping) {
            if (tried == bytesRemaining || stream->dataCursor >= dataEnd) {
                wrapRound(stream);
                if (++*fruitlessLoops >= kFruitlessLoopLimit) return false;
            }
            run = std::min(run, long(dataEnd - stream->dataCursor));
            if (tried < bytesRemaining) run = std::min(run, bytesRemaining - tried);
        }
        const uint8_t* runEnd = stream->dataCursor + run;
        if (findFrameChain(stream->dataCursor, runEnd, dataEnd, dataEnd, decodesAfterReset, &resync)) return true;
        stream->dataCursor = runEnd;
        tried += run;
    }
    return false;
}

// `at` is where the frame stood that no other could be found after.
int loseSync(Mp3Stream* stream, const uint8_t* at, uint8_t* buffer, int pcmBytes) {
    stream->lostSyncAt = stream->dataOffset + int(at - stream->dataStart);
    handBack(stream, buffer, pcmBytes);
    mp3StreamStop(stream);
    mp3StreamRewind(stream);
    return POLL_LOST_SYNC;
}

}  // namespace

void mp3StreamStartPlayback(Mp3Stream* stream, AudioOutput* output, int bufferFrames, bool looping) {
    stream->bufferFrames = bufferFrames;
    stream->looping = looping ? STREAM_TRUE : STREAM_FALSE;
    stream->endCountdown = 0;
    stream->lostSyncAt = -1;
    stream->autoPolling = STREAM_FALSE;
    stream->audioStream = output;
    stream->playbackOutput = output;
    stream->polledPcmBytes = 0;
}

int mp3StreamPolledPcmBytes(const Mp3Stream* stream) { return stream->polledPcmBytes; }

// Whole 32-bit words only, two samples each: bytes past the last whole word
// are left alone.
void flipSampleSigns(Mp3Stream* stream, uint8_t* buffer) {
    if (stream->sampleBits != 16) return;
    const int words = stream->bufferFrames * stream->outBytesPerFrame / 4;
    if (words > 0) copyFlippingSigns(buffer, buffer, size_t(words) * 4);
}

int decodeOneFrame(Mp3Stream* stream, const uint8_t* data, uint8_t* output, int* decodedBytes,
                   int* consumedBytes) {
    DecoderState* decoder = &stream->decoder;
    *consumedBytes = 0;
    int result = decodeFrame(decoder, nullptr, 0, output, kFrameOutputBytes, decodedBytes);
    if (result == DEC_NEED_MORE) {
        // One frame plus the next header per piece keeps the input chain short.
        const int pieceSize = stream->xing ? kXingPieceBytes : stream->frameLength + 4;
        int remaining = int(stream->dataStart + stream->dataLength - data);
        while (remaining > 0 && result == DEC_NEED_MORE) {
            const int piece = std::min(pieceSize, remaining);
            result = decodeFrame(decoder, data + *consumedBytes, piece, output, kFrameOutputBytes, decodedBytes);
            *consumedBytes += piece;
            remaining -= piece;
        }
    }
    if (result == DEC_NEED_MORE) return FRAME_SHORT;
    if (result != DEC_ERR && isFrameHeader(decoder->header) && decoder->frame.frameSize > 0) return FRAME_DONE;
    return FRAME_FAILED;
}

int mp3StreamPoll(Mp3Stream* stream) {
    stream->polledPcmBytes = 0;
    if (!stream->audioStream) return POLL_NOT_PLAYING;
    auto* buffer = static_cast<uint8_t*>(stream->audioStream->getBuffer());
    if (!buffer) return POLL_OK;
    const int bufferBytes = std::max(0, stream->outBytesPerFrame * stream->bufferFrames);

    // The countdown comes before the reset, so a rewind does not cancel it.
    if (!stream->looping && stream->endCountdown > 0) {
        handBack(stream, buffer, 0);
        if (--stream->endCountdown == 0) {
            mp3StreamStop(stream);
            return POLL_FINISHED;
        }
        return POLL_OK;
    }
    if (stream->needsReset) {
        stream->endCountdown = 0;
        mp3StreamResetDecoder(stream);
    }

    int total = 0;
    int fruitlessLoops = 0;
    while (total < bufferBytes) {
        if (dataEnded(stream)) {
            mp3StreamRewind(stream);
            if (!stream->looping) {
                handBack(stream, buffer, total);
                stream->endCountdown = kEndSilentBuffers;
                return POLL_OK;
            }
            // Looping runs straight on from the last frame into the first.
            stream->needsReset = 0;
            if (++fruitlessLoops >= kFruitlessLoopLimit) return loseSync(stream, stream->dataCursor, buffer, total);
        }
        const uint8_t* frameStart = nextFrameStart(stream);
        const int bytesRemaining = stream->dataLength - bytesUsed(stream);
        uint8_t* position = buffer + total;
        const int room = bufferBytes - total;
        // A frame that yields nothing (it ran short) leaves decodedBytes 0.
        int decodedBytes = 0;
        int consumedBytes = 0;
        int result = decodeIntoBuffer(stream, position, room, &decodedBytes, &consumedBytes);
        if (result == FRAME_SHORT && stream->looping) {
            wrapRound(stream);
            if (++fruitlessLoops >= kFruitlessLoopLimit) return loseSync(stream, frameStart, buffer, total);
            result = decodeIntoBuffer(stream, position, room, &decodedBytes, &consumedBytes);
        }
        if (result == FRAME_FAILED &&
            !findNextFrame(stream, bytesRemaining, position, room, &decodedBytes, &consumedBytes, &fruitlessLoops))
            return loseSync(stream, frameStart, buffer, total);
        total += decodedBytes;
        if (decodedBytes > 0) fruitlessLoops = 0;
        ++stream->currentFrame;
        stream->dataCursor += consumedBytes;
    }
    handBack(stream, buffer, total);

    if (dataEnded(stream)) {
        // At a buffer boundary even a looping stream keeps needsReset, so its
        // decoder is reset by the next poll.
        mp3StreamRewind(stream);
        if (!stream->looping) stream->endCountdown = kEndSilentBuffers;
    }
    return POLL_OK;
}

void pollTimerCallback(void* parameter) {
    std::lock_guard<std::recursive_mutex> polling(autoPollingLock());
    mp3StreamPoll(static_cast<Mp3Stream*>(parameter));
}

}  // namespace sorvil
