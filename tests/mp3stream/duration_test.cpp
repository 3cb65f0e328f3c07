// Duration arithmetic: truncation at each step, and lengths too long for
// 32-bit milliseconds.
#include <gtest/gtest.h>

#include <cstdint>

#include "mp3stream/mp3stream.h"

namespace sorvil {
namespace {

// Only the fields the duration queries read.
Mp3Stream streamOf(int sampleRate, bool stereo, int outBytesPerFrame, int totalFrames) {
    Mp3Stream stream{};
    stream.sampleRate = sampleRate;
    stream.stereo = stereo ? -1 : 0;
    stream.sampleBits = 16;
    stream.outBytesPerFrame = outBytesPerFrame;
    stream.totalFrames = totalFrames;
    return stream;
}

TEST(Duration, TenThousandFramesAt44100GiveTwoHundredSixtySeconds) {
    const Mp3Stream s = streamOf(44100, true, 4608, 10000);
    EXPECT_EQ(mp3StreamBytesPerSecond(&s), 176400);
    EXPECT_EQ(mp3StreamFrameMs(&s), 26);  // 26.12... truncated
    EXPECT_EQ(mp3StreamLengthMs(&s), 260000);
    EXPECT_EQ(mp3StreamLengthSeconds(&s), 260);  // not 261
}

TEST(Duration, ExactFrameDurations) {
    const Mp3Stream at48000 = streamOf(48000, true, 4608, 1000);
    EXPECT_EQ(mp3StreamFrameMs(&at48000), 24);
    EXPECT_EQ(mp3StreamLengthMs(&at48000), 24000);
    EXPECT_EQ(mp3StreamLengthSeconds(&at48000), 24);
    const Mp3Stream at32000 = streamOf(32000, true, 4608, 1);
    EXPECT_EQ(mp3StreamFrameMs(&at32000), 36);
    const Mp3Stream at16000 = streamOf(16000, true, 2304, 1);  // 576-sample frames
    EXPECT_EQ(mp3StreamFrameMs(&at16000), 36);
    const Mp3Stream at8000 = streamOf(8000, false, 1152, 1);
    EXPECT_EQ(mp3StreamFrameMs(&at8000), 72);
}

TEST(Duration, ShortStreamTruncatesToZeroSeconds) {
    const Mp3Stream s = streamOf(44100, true, 4608, 38);
    EXPECT_EQ(mp3StreamLengthMs(&s), 988);
    EXPECT_EQ(mp3StreamLengthSeconds(&s), 0);
}

TEST(Duration, SingleChannelKeepsTheFrameDuration) {
    const Mp3Stream mono = streamOf(44100, false, 2304, 100);
    EXPECT_EQ(mp3StreamBytesPerSecond(&mono), 88200);
    EXPECT_EQ(mp3StreamFrameMs(&mono), 26);
    EXPECT_EQ(mp3StreamLengthMs(&mono), 2600);
}

TEST(Duration, LengthsBeyondThirtyTwoBitsAreHeldAtTheLargest) {
    // 26 ms * 100,000,000 frames = 2.6e9 ms would wrap a 32-bit product.
    const Mp3Stream huge = streamOf(44100, true, 4608, 100000000);
    EXPECT_EQ(mp3StreamLengthMs(&huge), INT32_MAX);
    EXPECT_EQ(mp3StreamLengthSeconds(&huge), INT32_MAX / 1000);
    // The largest count that still fits is exact.
    const Mp3Stream fits = streamOf(44100, true, 4608, INT32_MAX / 26);
    EXPECT_EQ(mp3StreamLengthMs(&fits), INT32_MAX / 26 * 26);
    // A Xing frame count of 2^31 or more reads back negative: no negative length.
    const Mp3Stream negative = streamOf(44100, true, 4608, int(0x80000001u));
    EXPECT_EQ(mp3StreamLengthMs(&negative), 0);
    EXPECT_EQ(mp3StreamLengthSeconds(&negative), 0);
}

}  // namespace
}  // namespace sorvil
