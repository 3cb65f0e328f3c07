// Whole-file decoding of the tools: resynchronisation after damage, and no
// stream where there are no frames.
#include "pcm_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "support/temp_dir.h"

namespace sorvil {
namespace {

TEST(DecodeFrameByFrame, ResynchronisesAfterADamagedFrame) {
    std::vector<uint8_t> image = test::testDataBytes("encoded/l2_mpeg1_48000_stereo_384k_crc.mp2");
    DecodedPcm clean;
    ASSERT_TRUE(decodeFrameByFrame(image.data(), static_cast<int>(image.size()), &clean));
    ASSERT_EQ(clean.frameBytes.size(), 63u);
    // 384 kbit/s at 48 kHz: 1152-byte frames. Wipe the sync of frame 10.
    image[10 * 1152] = 0;
    image[10 * 1152 + 1] = 0;
    DecodedPcm damaged;
    ASSERT_TRUE(decodeFrameByFrame(image.data(), static_cast<int>(image.size()), &damaged));
    ASSERT_EQ(damaged.frameBytes.size(), 62u);
    EXPECT_EQ(damaged.bytes.size(), 62u * 4608);
    // The frames before the damage are untouched.
    EXPECT_TRUE(std::equal(clean.bytes.begin(), clean.bytes.begin() + 10 * 4608, damaged.bytes.begin()));
}

TEST(DecodeFrameByFrame, NoStreamInDataWithoutFrames) {
    std::vector<uint8_t> noise(20000);
    std::mt19937 random(3);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random() & 0x7F);  // never a sync byte
    DecodedPcm pcm;
    EXPECT_FALSE(decodeFrameByFrame(noise.data(), static_cast<int>(noise.size()), &pcm));
    EXPECT_TRUE(pcm.bytes.empty());
}

}  // namespace
}  // namespace sorvil
