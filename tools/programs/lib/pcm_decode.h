// Whole-file decoding to PCM, for the decode tool, the tests and benchmarks.
#pragma once

#include <cstdint>
#include <vector>

namespace sorvil {

struct DecodedPcm {
    std::vector<uint8_t> bytes;     // signed 16-bit little-endian, interleaved
    std::vector<int> frameBytes;    // PCM bytes of each decoded frame, in order
    std::vector<int> frameChannels; // channel count of each decoded frame
    int sampleRate = 0;
    int channels = 0;               // of the first frame
};

// Finds the first frame as stream creation does, then drives decodeFrame
// frame by frame to the end of the data. False when no stream can be created.
bool decodeFrameByFrame(const uint8_t* image, int length, DecodedPcm* out);

// Decodes through an Mp3Stream and its poll into a memory audio sink.
bool decodeThroughStream(const uint8_t* image, int length, DecodedPcm* out);

}  // namespace sorvil
