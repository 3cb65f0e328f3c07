// Playing time from the first frame and the frame count, truncating at each
// step: the frame duration is cut to whole milliseconds before it is
// multiplied, so lengths come out slightly short.
#include <cstdint>

#include "mp3stream/mp3stream.h"

namespace sorvil {

namespace {

constexpr int64_t kLongestLengthMs = INT32_MAX;  // about 24.8 days

}  // namespace

int mp3StreamTotalFrames(const Mp3Stream* stream) { return stream->totalFrames; }

int mp3StreamBytesPerSecond(const Mp3Stream* stream) {
    return (stream->stereo ? 2 : 1) * (stream->sampleBits / 8) * stream->sampleRate;
}

int mp3StreamFrameMs(const Mp3Stream* stream) {
    const double seconds = double(stream->outBytesPerFrame) / double(mp3StreamBytesPerSecond(stream));
    return int(seconds * 1000.0);
}

// Computed wide and held to 0..INT32_MAX: a frame count from a Xing header
// can be large enough (or, read as a signed value, negative) to wrap.
int mp3StreamLengthMs(const Mp3Stream* stream) {
    const int64_t length = int64_t(mp3StreamFrameMs(stream)) * mp3StreamTotalFrames(stream);
    if (length > kLongestLengthMs) return int(kLongestLengthMs);
    if (length < 0) return 0;
    return int(length);
}

int mp3StreamLengthSeconds(const Mp3Stream* stream) { return mp3StreamLengthMs(stream) / 1000; }

}  // namespace sorvil
