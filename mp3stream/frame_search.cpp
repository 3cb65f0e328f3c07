// Recognising frames in a byte image. Stream creation, the poll's search
// after a decoding error and the tools all trust a position only when a
// plausible header stands there and another one a frame later.
#include "decoder/frame_header.h"
#include "mp3stream/mp3stream.h"

namespace sorvil {

int isFrameHeader(uint32_t word) {
    if ((word & 0xFFE00000u) != 0xFFE00000u) return STREAM_FALSE;
    if (((word >> 19) & 3) == 1) return STREAM_FALSE;  // reserved version
    const unsigned layerBits = (word >> 17) & 3;
    if (layerBits != 1 && layerBits != 2) return STREAM_FALSE;  // layers III and II only
    const unsigned bitrateIndex = (word >> 12) & 15;
    if (bitrateIndex == 0 || bitrateIndex == 15) return STREAM_FALSE;
    if (((word >> 10) & 3) == 3) return STREAM_FALSE;
    return STREAM_TRUE;
}

uint32_t readBigEndian32(const uint8_t* b) {
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}

bool frameHeaderAt(const uint8_t* at, const uint8_t* readEnd) {
    return readEnd - at >= 4 && isFrameHeader(readBigEndian32(at));
}

bool framesChainAt(const uint8_t* at, const uint8_t* chainEnd, const uint8_t* readEnd, FrameInfo* frame) {
    if (!frameHeaderAt(at, readEnd)) return false;
    *frame = FrameInfo{};
    if (decodeHeader(frame, readBigEndian32(at)) <= 0 || frame->frameSize <= 0) return false;
    const long frameBytes = long(frame->frameSize) + 4;
    return frameBytes >= chainEnd - at || frameHeaderAt(at + frameBytes, readEnd);
}

const uint8_t* findFrameChain(const uint8_t* from, const uint8_t* searchEnd, const uint8_t* chainEnd,
                              const uint8_t* readEnd, ChainTest test, void* context) {
    for (const uint8_t* at = from; at < searchEnd && at < readEnd; ++at) {
        if (*at != 0xFF) continue;  // no sync: the cheap test first
        FrameInfo frame;
        if (framesChainAt(at, chainEnd, readEnd, &frame) && test(at, frame, context)) return at;
    }
    return nullptr;
}

}  // namespace sorvil
