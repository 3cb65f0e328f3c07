// Scale factor readers: MPEG-1 layouts with scfsi reuse and the LSF layout
// words, read from hand-built bit strings.
#include "decoder/layer3/scale_factors.h"

#include <gtest/gtest.h>

#include "decoder/layer3/tables.h"
#include "support/bit_string.h"

namespace sorvil {
namespace {

using test::BitString;
using test::ReservoirArea;

class ScaleFactorsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { initLayer3Tables(32); }
    void SetUp() override {
        granule = GranuleInfo{};
        std::fill(std::begin(scalefactors), std::end(scalefactors), -99);
    }
    GranuleInfo granule;
    int scalefactors[39];
    ReservoirArea area;
};

TEST_F(ScaleFactorsTest, Mpeg1LongBlockReadsElevenAndTenValues) {
    granule.scfsi = -1;
    granule.scalefacCompress = 15;  // slen1 4, slen2 3
    BitString bits;
    for (int b = 0; b < 11; ++b) bits.put(unsigned(b + 1), 4);
    for (int b = 11; b < 21; ++b) bits.put(unsigned(b - 11), 3);
    bits.put(0x5, 3);  // the next field, not to be read
    area.load(bits);

    EXPECT_EQ(readScaleFactorsMpeg1(scalefactors, &granule), 74);
    EXPECT_EQ(area.bitsRead(), 74);
    for (int b = 0; b < 11; ++b) EXPECT_EQ(scalefactors[b], b + 1);
    for (int b = 11; b < 21; ++b) EXPECT_EQ(scalefactors[b], (b - 11) & 7);
    EXPECT_EQ(scalefactors[21], 0);
}

TEST_F(ScaleFactorsTest, Mpeg1CompressZeroReadsNothing) {
    granule.scfsi = -1;
    BitString bits;
    bits.put(0xFF, 8);
    area.load(bits);
    EXPECT_EQ(readScaleFactorsMpeg1(scalefactors, &granule), 0);
    EXPECT_EQ(area.bitsRead(), 0);
    for (int b = 0; b < 22; ++b) EXPECT_EQ(scalefactors[b], 0);
}

TEST_F(ScaleFactorsTest, Mpeg1ScfsiReusesGranuleZeroGroups) {
    for (int b = 0; b < 21; ++b) scalefactors[b] = 100 + b;  // granule 0's values
    scalefactors[21] = 7;
    granule.scalefacCompress = 15;

    // All four groups reused: nothing read.
    granule.scfsi = 15;
    BitString none;
    none.put(0xFFFF, 16);
    area.load(none);
    EXPECT_EQ(readScaleFactorsMpeg1(scalefactors, &granule), 0);
    EXPECT_EQ(area.bitsRead(), 0);
    for (int b = 0; b < 21; ++b) EXPECT_EQ(scalefactors[b], 100 + b);
    EXPECT_EQ(scalefactors[21], 0);

    // Groups 0 (bit 8) and 2 (bit 2) reused; groups 1 (bands 6-10, slen1) and 3 (16-20, slen2) read.
    granule.scfsi = 8 | 2;
    BitString some;
    for (int b = 6; b <= 10; ++b) some.put(unsigned(b), 4);
    for (int b = 16; b <= 20; ++b) some.put(unsigned(b - 15), 3);
    area.load(some);
    EXPECT_EQ(readScaleFactorsMpeg1(scalefactors, &granule), 5 * 4 + 5 * 3);
    EXPECT_EQ(area.bitsRead(), 35);
    for (int b = 0; b <= 5; ++b) EXPECT_EQ(scalefactors[b], 100 + b);
    for (int b = 6; b <= 10; ++b) EXPECT_EQ(scalefactors[b], b);
    for (int b = 11; b <= 15; ++b) EXPECT_EQ(scalefactors[b], 100 + b);
    for (int b = 16; b <= 20; ++b) EXPECT_EQ(scalefactors[b], b - 15);
}

TEST_F(ScaleFactorsTest, Mpeg1ShortBlocksIgnoreScfsi) {
    granule.scfsi = 15;
    granule.blockType = 2;
    granule.scalefacCompress = 8;  // slen1 2, slen2 1
    BitString bits;
    for (int i = 0; i < 18; ++i) bits.put(unsigned(i & 3), 2);
    for (int i = 0; i < 18; ++i) bits.put(unsigned(i & 1), 1);
    area.load(bits);
    EXPECT_EQ(readScaleFactorsMpeg1(scalefactors, &granule), 18 * 3);
    EXPECT_EQ(area.bitsRead(), 54);
    for (int i = 0; i < 18; ++i) EXPECT_EQ(scalefactors[i], i & 3);
    for (int i = 0; i < 18; ++i) EXPECT_EQ(scalefactors[18 + i], i & 1);
    for (int i = 36; i < 39; ++i) EXPECT_EQ(scalefactors[i], 0);
}

TEST_F(ScaleFactorsTest, Mpeg1MixedBlockReads17And18Values) {
    granule.scfsi = -1;
    granule.blockType = 2;
    granule.mixedBlock = 1;
    granule.scalefacCompress = 15;  // slen1 4, slen2 3
    BitString bits;
    for (int i = 0; i < 17; ++i) bits.put(15 - unsigned(i % 16), 4);
    for (int i = 0; i < 18; ++i) bits.put(unsigned(i % 8), 3);
    area.load(bits);
    EXPECT_EQ(readScaleFactorsMpeg1(scalefactors, &granule), 122);
    EXPECT_EQ(area.bitsRead(), 122);
    for (int i = 0; i < 17; ++i) EXPECT_EQ(scalefactors[i], 15 - i % 16);
    for (int i = 0; i < 18; ++i) EXPECT_EQ(scalefactors[17 + i], i % 8);
    for (int i = 35; i < 38; ++i) EXPECT_EQ(scalefactors[i], 0);
    EXPECT_EQ(scalefactors[38], -99);  // a mixed block fills 38 entries
}

TEST_F(ScaleFactorsTest, LsfCompress500SetsPreflagAndReadsNothing) {
    granule.scalefacCompress = 500;
    BitString bits;
    bits.put(0xFFFF, 16);
    area.load(bits);
    EXPECT_EQ(readScaleFactorsLsf(scalefactors, &granule, 0), 0);
    EXPECT_EQ(granule.preflag, 1);
    EXPECT_EQ(area.bitsRead(), 0);
    for (int b = 0; b < 22; ++b) EXPECT_EQ(scalefactors[b], 0);
    EXPECT_EQ(scalefactors[22], -99);
}

TEST_F(ScaleFactorsTest, LsfNormalChannelPartitions) {
    // a, b, c, d = 1, 2, 3, 1 (row 0); mixed class counts 6 9 9 9.
    granule.scalefacCompress = 80 * 1 + 16 * 2 + 4 * 3 + 1;
    granule.blockType = 2;
    granule.mixedBlock = 1;
    granule.preflag = 1;
    BitString bits;
    for (int i = 0; i < 6; ++i) bits.put(1, 1);
    for (int i = 0; i < 9; ++i) bits.put(2, 2);
    for (int i = 0; i < 9; ++i) bits.put(5, 3);
    for (int i = 0; i < 9; ++i) bits.put(0, 1);
    area.load(bits);
    EXPECT_EQ(readScaleFactorsLsf(scalefactors, &granule, 0), 6 + 18 + 27 + 9);
    EXPECT_EQ(area.bitsRead(), 60);
    EXPECT_EQ(granule.preflag, 0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(scalefactors[i], 1);
    for (int i = 6; i < 15; ++i) EXPECT_EQ(scalefactors[i], 2);
    for (int i = 15; i < 24; ++i) EXPECT_EQ(scalefactors[i], 5);
    for (int i = 24; i < 38; ++i) EXPECT_EQ(scalefactors[i], 0);
    EXPECT_EQ(scalefactors[38], -99);
}

TEST_F(ScaleFactorsTest, LsfShortBlockRowOne) {
    // 400 + 20a + 4b + c with a, b, c = 4, 0, 3: slen 4 0 3 0, short counts 9 9 12 6.
    granule.scalefacCompress = 400 + 80 + 3;
    granule.blockType = 2;
    BitString bits;
    for (int i = 0; i < 9; ++i) bits.put(unsigned(i), 4);
    for (int i = 0; i < 12; ++i) bits.put(7, 3);
    area.load(bits);
    EXPECT_EQ(readScaleFactorsLsf(scalefactors, &granule, 0), 36 + 36);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(scalefactors[i], i);
    for (int i = 9; i < 18; ++i) EXPECT_EQ(scalefactors[i], 0);
    for (int i = 18; i < 30; ++i) EXPECT_EQ(scalefactors[i], 7);
    for (int i = 30; i < 39; ++i) EXPECT_EQ(scalefactors[i], 0);
}

TEST_F(ScaleFactorsTest, LsfIntensityChannelUsesHalvedIndex) {
    // 511 / 2 = 255: slen 3 2 0 0, row 5, long counts 8 8 5 0.
    granule.scalefacCompress = 511;
    BitString bits;
    for (int i = 0; i < 8; ++i) bits.put(unsigned(7 - i), 3);
    for (int i = 0; i < 8; ++i) bits.put(unsigned(i & 3), 2);
    area.load(bits);
    EXPECT_EQ(readScaleFactorsLsf(scalefactors, &granule, 1), 40);
    EXPECT_EQ(area.bitsRead(), 40);
    EXPECT_EQ(granule.preflag, 0);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(scalefactors[i], 7 - i);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(scalefactors[8 + i], i & 3);
    for (int i = 16; i < 22; ++i) EXPECT_EQ(scalefactors[i], 0);

    // The same compress value on the normal channel: row 2 with preflag.
    granule.scalefacCompress = 511;
    BitString normal;
    for (int i = 0; i < 11; ++i) normal.put(1, 3);
    for (int i = 0; i < 10; ++i) normal.put(2, 2);
    area.load(normal);
    EXPECT_EQ(readScaleFactorsLsf(scalefactors, &granule, 0), 33 + 20);
    EXPECT_EQ(granule.preflag, 1);
}

TEST_F(ScaleFactorsTest, LsfIntensityChannelReadsFiveBitPositions) {
    // Intensity index 35 = 36 * 0 + 6 * 5 + 5: slen 0 5 5 0, row 3, long counts 7 7 7 0.
    granule.scalefacCompress = 70;
    BitString bits;
    for (int i = 0; i < 14; ++i) bits.put(31 - unsigned(i), 5);
    area.load(bits);
    EXPECT_EQ(readScaleFactorsLsf(scalefactors, &granule, 1), 70);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(scalefactors[i], 0);
    for (int i = 0; i < 14; ++i) EXPECT_EQ(scalefactors[7 + i], 31 - i);
    EXPECT_EQ(scalefactors[21], 0);
}

// Each entry's illegal intensity position is the largest value of its width,
// 2^slen - 1 (0 for a 0-bit partition); the top band's entries take the value
// of the band below.
TEST_F(ScaleFactorsTest, LsfIntensityChannelGivesEachEntryItsIllegalPosition) {
    int illegal[39];
    // Intensity index 150 = 36 * 4 + 6 * 1 + 0: slen 4 1 0, row 3, long counts 7 7 7 0.
    granule.scalefacCompress = 300;
    area.load(BitString{});  // all positions 0
    readScaleFactorsLsf(scalefactors, &granule, 1, illegal);
    for (int i = 0; i < 22; ++i) EXPECT_EQ(illegal[i], i < 7 ? 15 : i < 14 ? 1 : 0) << "entry " << i;
    // Index 95 = 36 * 2 + 6 * 3 + 5: slen 2 3 5, short counts 12 12 12 0.
    granule.scalefacCompress = 191;
    granule.blockType = 2;
    area.load(BitString{});
    readScaleFactorsLsf(scalefactors, &granule, 1, illegal);
    for (int i = 0; i < 39; ++i) EXPECT_EQ(illegal[i], i < 12 ? 3 : i < 24 ? 7 : 31) << "entry " << i;
}

}  // namespace
}  // namespace sorvil
