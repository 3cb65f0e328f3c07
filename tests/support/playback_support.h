// Test helpers for the stream decoding loop: starting playback of a real
// stream into a memory sink, a reference decode with a decoder of its own,
// and how decoded frames are expected to lie in audio buffers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decoder/decoder_state.h"
#include "mp3stream/mp3stream.h"
#include "mp3stream/player/stream_poll.h"
#include "memory_audio_output.h"
#include "support/temp_dir.h"

namespace sorvil::test {

using Bytes = std::vector<uint8_t>;

inline Bytes loadImage(const std::string& relative) {
    const std::string text = readFile(testData(relative));
    return Bytes(text.begin(), text.end());
}

// A stream playing into a memory sink, set up as a player starts playback.
struct Playback {
    Bytes image;
    std::unique_ptr<MemoryAudioOutput> sink;
    Mp3Stream* stream = nullptr;
    // Signed PCM that each poll handed back, only the decoded part.
    std::vector<Bytes> pcmPerPoll;

    Playback() = default;
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;
    ~Playback() { mp3StreamDestroy(stream); }

    int bufferBytes() const { return stream->outBytesPerFrame * stream->bufferFrames; }
    int poll();
    // Polls until a result other than POLL_OK, at most maxPolls times; the
    // results in order.
    std::vector<int> pollToEnd(int maxPolls = 100000);
};

// Null when the image holds no stream.
std::unique_ptr<Playback> startPlayback(Bytes image, int bufferFrames, bool looping, int bufferLimit = -1);

// Unsigned 16-bit samples back to signed ones.
Bytes toSigned(const Bytes& unsignedPcm);
Bytes concat(const std::vector<Bytes>& pieces);

// The stream's audio data decoded by a decoder of its own, all of it fed at
// once, `passes` times in a row without a reset: the signed PCM of each frame.
std::vector<Bytes> referenceFrames(const Mp3Stream* stream, int passes = 1);

// Signed content of the buffers that frames fill: each buffer takes frames
// until it is full, a frame larger than the room left is cut at the buffer's
// end, and the last buffer is padded with silence.
std::vector<Bytes> layOutInBuffers(const std::vector<Bytes>& frames, int bufferBytes);

// True when every sample is the unsigned silence 0x8000 (bytes 00 80).
bool isUnsignedSilence(const uint8_t* bytes, size_t size);

// The smallest frames-per-buffer count in [2, 8] that divides frameCount
// (divides == true) or leaves a remainder (divides == false); 1 when none
// divides it.
int bufferFramesWhere(int frameCount, bool divides);

}  // namespace sorvil::test
