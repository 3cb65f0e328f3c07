// Counting the frames of a stream that no header gives a frame count for:
// each frame's length comes from its own header, so the count is right for a
// variable bitrate too, where the data length over the first frame's length
// is not. Reads the whole stream, which only happens for such streams.
#include "decoder/frame_header.h"
#include "mp3stream/mp3stream.h"

namespace sorvil {

namespace {

// The sampling-frequency index tells the MPEG version apart as well.
bool sameFormat(const FrameInfo& frame, const FrameInfo& first) {
    return frame.layer == first.layer && frame.samplingFrequency == first.samplingFrequency;
}

// A plausible header of the first frame's format at `at`, decoded into *frame.
bool formatHeaderAt(const uint8_t* at, const uint8_t* end, const FrameInfo& first, FrameInfo* frame) {
    if (!frameHeaderAt(at, end)) return false;
    *frame = FrameInfo{};
    return decodeHeader(frame, readBigEndian32(at)) > 0 && frame->frameSize > 0 && sameFormat(*frame, first);
}

struct Resumption {
    const FrameInfo* first;
    const uint8_t* end;
};

// Past junk the walk goes on only where a frame of the first frame's format
// is followed by another one, or ends exactly at the end of the data.
bool resumesWalk(const uint8_t* at, const FrameInfo& frame, void* context) {
    const auto& resumption = *static_cast<const Resumption*>(context);
    if (!sameFormat(frame, *resumption.first)) return false;
    const long frameBytes = long(frame.frameSize) + 4;
    const long left = resumption.end - at;
    FrameInfo next;
    return frameBytes == left ||
           (frameBytes < left && formatHeaderAt(at + frameBytes, resumption.end, *resumption.first, &next));
}

}  // namespace

FrameWalk walkFrames(const uint8_t* from, const uint8_t* end, const FrameInfo& first,
                     const WalkProgress* progress) {
    FrameWalk walk{0, false};
    Resumption resumption{&first, end};
    const uint8_t* at = from;
    const uint8_t* told = from;
    if (progress) progress->advanced(from, from, progress->context);
    while (at && at < end) {
        if (progress && at - told >= kWalkStride) {
            progress->advanced(told, at, progress->context);
            told = at;
        }
        FrameInfo frame;
        if (!formatHeaderAt(at, end, first, &frame)) {
            at = findFrameChain(at + 1, end, end, end, resumesWalk, &resumption);
            continue;
        }
        const long frameBytes = long(frame.frameSize) + 4;
        if (frameBytes > end - at) break;  // cut short by the end of the data: not counted
        ++walk.frames;
        if (frame.bitrateIndex != first.bitrateIndex) walk.bitrateVaries = true;
        at += frameBytes;
    }
    return walk;
}

}  // namespace sorvil
