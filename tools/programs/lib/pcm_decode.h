// Whole-file decoding to PCM, for the decode tool, the tests and benchmarks.
// The decoding paths hand each frame's PCM to a sink as it is decoded; a
// DecodedPcm sink keeps it all in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sorvil {

class PcmSink {
public:
    virtual ~PcmSink() = default;
    // Called once, before any PCM, with the format of the first frame and
    // the PCM bytes the stream is expected to give (0 when unknown).
    virtual void start(int sampleRate, int channels, size_t expectedBytes) = 0;
    // One frame's signed 16-bit little-endian interleaved samples, valid
    // only during the call; false stops the decoding.
    virtual bool take(const uint8_t* pcm, int bytes, int channels) = 0;
    // The same with every sample's sign bit flipped (unsigned samples, as an
    // audio stream's buffers hold them); the buffer may be changed. By
    // default the signs are flipped back in place, then take is called.
    virtual bool takeUnsigned(uint8_t* pcm, int bytes, int channels);
};

struct DecodedPcm final : PcmSink {
    std::vector<uint8_t> bytes;     // signed 16-bit little-endian, interleaved
    std::vector<int> frameBytes;    // PCM bytes of each decoded frame, in order
    std::vector<int> frameChannels; // channel count of each decoded frame
    int sampleRate = 0;
    int channels = 0;               // of the first frame

    void start(int rate, int firstChannels, size_t expectedBytes) override;
    bool take(const uint8_t* pcm, int size, int frameChannelCount) override;
};

// Both ways of decoding a whole file: false when no stream can be created.
// lostSyncAt, when given, receives the byte of the file where the stream
// lost synchronisation and the decoding stopped short of the end (see
// Mp3Stream), else -1; both ways give the same byte.

// Finds the first frame as stream creation does, then drives decodeFrame
// frame by frame to the end of the data.
bool decodeFrameByFrame(const uint8_t* image, int length, PcmSink* sink, long* lostSyncAt = nullptr);

// Decodes through an Mp3Stream and its poll into an audio output in memory;
// each buffer reaches the sink in pieces of the stream's bytes per frame.
bool decodeThroughStream(const uint8_t* image, int length, PcmSink* sink, long* lostSyncAt = nullptr);

}  // namespace sorvil
