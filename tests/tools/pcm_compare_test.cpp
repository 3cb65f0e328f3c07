#include "pcm_compare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "pcm_decode.h"

namespace sorvil {
namespace {

// A stereo test signal with distinct channels: a tone plus noise.
std::vector<int16_t> makeSignal(int frames, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-3000, 3000);
    std::vector<int16_t> pcm(static_cast<size_t>(frames) * 2);
    for (int n = 0; n < frames; ++n) {
        pcm[2 * n] = static_cast<int16_t>(8000 * std::sin(n * 0.05) + noise(random));
        pcm[2 * n + 1] = static_cast<int16_t>(-6000 * std::sin(n * 0.013) + noise(random));
    }
    return pcm;
}

TEST(PcmCompare, FindsAKnownOffsetInEitherDirection) {
    std::vector<int16_t> ref = makeSignal(20000, 1);
    for (int shift : {0, 481, -1105, 4608}) {
        // Test sample n + shift equals reference sample n.
        std::vector<int16_t> test;
        if (shift >= 0) {
            test.assign(static_cast<size_t>(shift) * 2, 123);
            test.insert(test.end(), ref.begin(), ref.end());
        } else {
            test.assign(ref.begin() + static_cast<long>(-shift) * 2, ref.end());
        }
        PcmComparison c = comparePcm(test, ref, {});
        EXPECT_EQ(c.offset, shift);
        EXPECT_EQ(c.rms, 0.0);
        EXPECT_EQ(c.maxDiff, 0);
        EXPECT_EQ(c.accuracy, AccuracyClass::Full);
        EXPECT_EQ(c.overlap, shift >= 0 ? 20000 : 20000 + shift);
    }
}

TEST(PcmCompare, MeasuresRmsAndMaxOfTheDifference) {
    std::vector<int16_t> ref = makeSignal(10000, 2);
    std::vector<int16_t> test = ref;
    // Every fourth value off by 2, one value off by 7: RMS^2 = (4 * 5000 - 4 + 49) / 20000.
    for (size_t i = 0; i < test.size(); i += 4) test[i] += 2;
    test[1001] += 7;
    PcmComparison c = comparePcm(test, ref, {});
    EXPECT_EQ(c.offset, 0);
    EXPECT_NEAR(c.rms, std::sqrt((4.0 * 5000 + 49) / 20000), 1e-12);
    EXPECT_EQ(c.maxDiff, 7);
    EXPECT_EQ(c.accuracy, AccuracyClass::Limited);
}

// Full: RMS under 2^-15/sqrt(12) of full scale (0.2887 LSB) and at most 2 LSB off;
// limited: RMS under 2^-11/sqrt(12) (4.619 LSB), any maximum.
TEST(PcmCompare, AccuracyClassesFollowTheRmsAndMaximumBounds) {
    EXPECT_EQ(classifyAccuracy(0.288, 2), AccuracyClass::Full);
    EXPECT_EQ(classifyAccuracy(0.289, 1), AccuracyClass::Limited);
    EXPECT_EQ(classifyAccuracy(0.1, 3), AccuracyClass::Limited);
    EXPECT_EQ(classifyAccuracy(4.61, 3000), AccuracyClass::Limited);
    EXPECT_EQ(classifyAccuracy(4.62, 1), AccuracyClass::Fail);
}

TEST(PcmCompare, RefLengthLimitsTheComparedPart) {
    std::vector<int16_t> ref = makeSignal(5000, 3);
    std::vector<int16_t> test(ref.begin(), ref.begin() + 4000 * 2);
    // A padded tail past 4000 samples that the test does not have.
    for (size_t i = 4000 * 2; i < ref.size(); ++i) ref[i] = 0;
    CompareOptions options;
    options.refLength = 4000;
    PcmComparison c = comparePcm(test, ref, options);
    EXPECT_EQ(c.offset, 0);
    EXPECT_EQ(c.refLength, 4000);
    EXPECT_EQ(c.testLength - c.refLength, 0);
    EXPECT_EQ(c.maxDiff, 0);
}

TEST(PcmCompare, MonoComparisonUsesOneChannel) {
    std::vector<int16_t> ref = makeSignal(6000, 4);  // read as 12000 mono samples
    std::vector<int16_t> test(ref.begin() + 3, ref.end());
    CompareOptions options;
    options.channels = 1;
    PcmComparison c = comparePcm(test, ref, options);
    EXPECT_EQ(c.offset, -3);
    EXPECT_EQ(c.maxDiff, 0);
}

TEST(PcmCompare, ExpandsSingleChannelFramesToTwoEqualChannels) {
    // Frame 1: two mono samples; frame 2: one stereo pair.
    std::vector<uint8_t> bytes = {0x01, 0x00, 0xFF, 0xFF, 0x02, 0x00, 0x03, 0x00};
    DecodedPcm pcm;
    pcm.bytes = bytes;
    pcm.frameBytes = {4, 4};
    pcm.frameChannels = {1, 2};
    std::vector<int16_t> expected = {1, 1, -1, -1, 2, 3};
    EXPECT_EQ(expandToStereo(pcm), expected);
    // A shorter byte run under the same frame map stops at its end.
    std::vector<uint8_t> shorter(bytes.begin(), bytes.begin() + 6);
    std::vector<int16_t> partial = {1, 1, -1, -1, 2};
    EXPECT_EQ(expandToStereo(shorter, pcm.frameBytes, pcm.frameChannels), partial);
}

}  // namespace
}  // namespace sorvil
