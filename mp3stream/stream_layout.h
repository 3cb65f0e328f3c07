// Where the parts of an MP3 file lie, as stream creation and the frame walk
// read them: the figures a caller that reads a song ahead of the stream
// takes its windows from.
#pragma once

#include <cstdint>

namespace sorvil {

// The first frame must start within this many bytes of the audio data.
constexpr int kSearchWindowBytes = 28672;
// The ID3v1 trailer that may end the file.
constexpr int kId3v1Bytes = 128;
// An ID3v2 tag's header (and its footer, when it has one).
constexpr int kId3v2HeaderBytes = 10;
// A frame walk tells its progress every this many bytes (see WalkProgress).
constexpr long kWalkStride = 1 << 20;

// The size of the ID3v2 tag at `image`, header and footer included; 0 when
// none starts there. Reads kId3v2HeaderBytes bytes.
int id3v2Size(const uint8_t* image);

}  // namespace sorvil
