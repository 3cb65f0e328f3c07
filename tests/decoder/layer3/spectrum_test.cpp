// Huffman decoding and dequantisation of one granule: values, signs, linbits
// and gains from hand-built bit strings; band walk layouts; band and subband
// limits; the bit budget; and hostile side information that must neither read
// outside the reservoir area nor write outside the 576 values.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "decoder/layer3/huffman.h"
#include "decoder/layer3/tables.h"
#include "support/bit_string.h"

namespace sorvil {
namespace {

using test::BitString;
using test::ReservoirArea;

constexpr double kUnwritten = 1234.5;

// The code of a leaf value, found by walking the tree.
bool findCode(const int16_t* tree, int at, int value, std::string& path) {
    if (tree[at] >= 0) return tree[at] == value;
    path.push_back('0');
    if (findCode(tree, at + 1, value, path)) return true;
    path.back() = '1';
    if (findCode(tree, at + 1 - tree[at], value, path)) return true;
    path.pop_back();
    return false;
}

std::string codeFor(const int16_t* tree, int value) {
    std::string path;
    EXPECT_TRUE(findCode(tree, 0, value, path)) << value;
    return path;
}

// One big-values pair in bitstream order: code, x linbits, x sign, y linbits, y sign.
void putPair(BitString& bits, int table, int x, int y, bool xNegative = false, bool yNegative = false) {
    const HuffmanTable& t = huffmanTables[table];
    int xCode = t.linbits && x > 15 ? 15 : x;
    int yCode = t.linbits && y > 15 ? 15 : y;
    bits.code(codeFor(t.tree, xCode << 4 | yCode));
    for (auto [z, zCode, negative] : {std::tuple{x, xCode, xNegative}, std::tuple{y, yCode, yNegative}}) {
        if (zCode == 15 && t.linbits) bits.put(unsigned(z - 15), t.linbits);
        if (z != 0) bits.putBit(negative);
    }
}

std::string quadCode(int table, int v, int w, int x, int y) {
    return codeFor(count1Tables[table].tree, v << 3 | w << 2 | x << 1 | y);
}

class SpectrumTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { initLayer3Tables(32); }
    void SetUp() override {
        values.assign(576 + 64, kUnwritten);
        std::fill(std::begin(scalefactors), std::end(scalefactors), 0);
        granule = GranuleInfo{};
        granule.gainBase = 46;  // gain 1.0
        granule.windowGainBase[0] = granule.windowGainBase[1] = granule.windowGainBase[2] = 46;
        granule.region1Pair = 288;
        granule.region2Pair = 288;
    }
    int decode(const BitString& bits, int sf = 0, int part2Bits = 0) {
        area.load(bits);
        if (granule.part23Length == 0) granule.part23Length = bits.length() + part2Bits;
        return decodeSpectrum(values.data(), scalefactors, &granule, sf, part2Bits);
    }
    void expectZeroFrom(int first) {
        for (int i = first; i < 576; ++i) ASSERT_EQ(values[i], 0.0) << i;
    }
    void expectGuardIntact() {
        for (size_t i = 576; i < values.size(); ++i) ASSERT_EQ(values[i], kUnwritten) << i;
    }

    std::vector<double> values;
    int scalefactors[39];
    GranuleInfo granule;
    ReservoirArea area;
};

TEST_F(SpectrumTest, LongBlockRegionsSignsLinbitsAndBandGains) {
    // 44.1 kHz: band 0 = lines 0-3, band 1 = 4-7, band 2 = 8-11.
    granule.bigValues = 5;
    granule.region1Pair = 2;
    granule.region2Pair = 3;
    granule.tableSelect[0] = 5;
    granule.tableSelect[1] = 7;
    granule.tableSelect[2] = 24;  // linbits 4
    granule.scalefacScale = 1;    // scale factors shifted by 2
    granule.gainBase = 50;
    scalefactors[0] = 1;
    scalefactors[1] = 2;
    BitString bits;
    putPair(bits, 5, 3, 0, true);
    putPair(bits, 5, 1, 2, false, true);
    putPair(bits, 7, 5, 4);
    putPair(bits, 24, 17, 0, true);
    putPair(bits, 24, 0, 30);

    ASSERT_EQ(decode(bits), 0);
    EXPECT_EQ(area.bitsRead(), bits.length());
    const double g0 = gainPowers[50 + (1 << 2)];
    const double g1 = gainPowers[50 + (2 << 2)];
    const double g2 = gainPowers[50];
    const double expected[10] = {-g0 * powFourThirds[3], 0.0, g0 * 1.0, -g0 * powFourThirds[2],
                                 g1 * powFourThirds[5], g1 * powFourThirds[4], -g1 * powFourThirds[17], 0.0,
                                 0.0, g2 * powFourThirds[30]};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(values[i], expected[i]) << i;
    expectZeroFrom(10);
    expectGuardIntact();
    EXPECT_EQ(granule.longBandLimit, 3);
    EXPECT_EQ(granule.activeSubbands, longSubbandLimit[0][3]);
}

// Region starts from out-of-range side information are held within 0..288
// pairs with region 1 not after region 2: the big values still come to
// exactly bigValues pairs.
TEST_F(SpectrumTest, RegionStartsAreHeldInOrder) {
    granule.bigValues = 4;
    granule.region1Pair = 3;
    granule.region2Pair = 1;
    granule.tableSelect[0] = 1;
    granule.tableSelect[1] = 7;
    granule.tableSelect[2] = 5;
    BitString bits;
    for (int p = 0; p < 3; ++p) putPair(bits, 1, 1, 0);
    putPair(bits, 5, 3, 3);
    ASSERT_EQ(decode(bits), 0);
    EXPECT_EQ(area.bitsRead(), bits.length());
    EXPECT_EQ(values[6], powFourThirds[3]);
    EXPECT_EQ(values[7], powFourThirds[3]);
    expectZeroFrom(8);

    SetUp();
    granule.bigValues = 2;
    granule.region1Pair = 400;
    granule.region2Pair = -5;
    granule.tableSelect[0] = 1;
    BitString first;
    putPair(first, 1, 1, 1);
    putPair(first, 1, 0, 1);
    ASSERT_EQ(decode(first), 0);
    EXPECT_EQ(area.bitsRead(), first.length());
    EXPECT_EQ(values[3], 1.0);
}

TEST_F(SpectrumTest, PreflagAddsPretabOnLongBlocks) {
    // Band 11 at 44.1 kHz starts at line 62 (pair 31); pretab[11] is 1.
    granule.bigValues = 32;
    granule.tableSelect[0] = 1;
    scalefactors[11] = 2;
    BitString bits;
    for (int p = 0; p < 31; ++p) putPair(bits, 1, 0, 0);
    putPair(bits, 1, 1, 0);

    granule.preflag = 1;
    ASSERT_EQ(decode(bits), 0);
    EXPECT_EQ(values[62], gainPowers[46 + ((2 + 1) << 1)]);

    granule.preflag = 0;
    ASSERT_EQ(decode(bits), 0);
    EXPECT_EQ(values[62], gainPowers[46 + (2 << 1)]);
    EXPECT_EQ(granule.longBandLimit, 12);
}

TEST_F(SpectrumTest, Table23LinbitsReachTheLastPower) {
    granule.bigValues = 1;
    granule.tableSelect[0] = 23;  // linbits 13
    BitString bits;
    putPair(bits, 23, 15 + 8191, 15, false, true);
    ASSERT_EQ(decode(bits), 0);
    EXPECT_EQ(area.bitsRead(), bits.length());
    EXPECT_EQ(values[0], powFourThirds[8206]);
    EXPECT_EQ(values[1], -powFourThirds[15]);
    expectZeroFrom(2);
}

TEST_F(SpectrumTest, Table15ValueFifteenReadsNoLinbits) {
    granule.bigValues = 1;
    granule.tableSelect[0] = 15;
    BitString bits;
    bits.code(codeFor(huffmanTables[15].tree, 15 << 4 | 0)).putBit(0);
    ASSERT_EQ(decode(bits), 0);
    EXPECT_EQ(area.bitsRead(), bits.length());
    EXPECT_EQ(values[0], powFourThirds[15]);
}

TEST_F(SpectrumTest, AllZeroGranulesReportTheirLimits) {
    BitString none;
    ASSERT_EQ(decode(none), 0);
    expectZeroFrom(0);
    EXPECT_EQ(granule.longBandLimit, 0);
    EXPECT_EQ(granule.activeSubbands, 1);

    granule.blockType = 2;
    ASSERT_EQ(decode(none), 0);
    expectZeroFrom(0);
    EXPECT_EQ(granule.shortBandLimit[0], 0);
    EXPECT_EQ(granule.shortBandLimit[1], 0);
    EXPECT_EQ(granule.shortBandLimit[2], 0);
    EXPECT_EQ(granule.activeSubbands, 1);

    granule.mixedBlock = 1;
    ASSERT_EQ(decode(none), 0);
    expectZeroFrom(0);
    EXPECT_EQ(granule.shortBandLimit[0], 3);
    EXPECT_EQ(granule.shortBandLimit[1], 3);
    EXPECT_EQ(granule.shortBandLimit[2], 3);
    EXPECT_EQ(granule.longBandLimit, 0);
    EXPECT_EQ(granule.activeSubbands, 2);
}

TEST_F(SpectrumTest, ShortBlockInterleavesWindowsWithTheirGains) {
    // Short band 0 at 44.1 kHz: 4 lines per window, 2 pairs per window.
    granule.blockType = 2;
    granule.region1Pair = 18;
    granule.bigValues = 6;
    granule.tableSelect[0] = 1;
    granule.windowGainBase[0] = 46;
    granule.windowGainBase[1] = 50;
    granule.windowGainBase[2] = 54;
    scalefactors[1] = 1;  // band 0, window 1
    BitString bits;
    for (int p = 0; p < 6; ++p) putPair(bits, 1, 1, 1, false, p == 5);
    ASSERT_EQ(decode(bits), 0);
    const double gains[3] = {gainPowers[46], gainPowers[50 + 2], gainPowers[54]};
    for (int w = 0; w < 3; ++w)
        for (int k = 0; k < 4; ++k) {
            double sign = (w == 2 && k == 3) ? -1.0 : 1.0;
            EXPECT_EQ(values[3 * k + w], sign * gains[w]) << w << " " << k;
        }
    expectZeroFrom(12);
    for (int w = 0; w < 3; ++w) EXPECT_EQ(granule.shortBandLimit[w], 1);
    EXPECT_EQ(granule.activeSubbands, shortSubbandLimit[0][1]);
}

TEST_F(SpectrumTest, ShortBlocksApplyNoPretab) {
    granule.blockType = 2;
    granule.mixedBlock = 1;
    granule.preflag = 1;
    granule.bigValues = 1;
    granule.tableSelect[0] = 1;
    scalefactors[0] = 1;
    BitString bits;
    putPair(bits, 1, 1, 0);
    ASSERT_EQ(decode(bits), 0);
    EXPECT_EQ(values[0], gainPowers[46 + 2]);
    EXPECT_EQ(granule.longBandLimit, 1);
    EXPECT_EQ(granule.activeSubbands, shortSubbandLimit[0][3]);
}

TEST_F(SpectrumTest, Count1BudgetOfFourBitsStopsAtTheFirstSign) {
    granule.count1TableSelect = 1;  // table B: 4 bits
    BitString bits;
    bits.code(quadCode(1, 1, 1, 1, 1));
    ASSERT_EQ(bits.length(), 4);
    ASSERT_EQ(decode(bits), 0);
    EXPECT_EQ(area.bitsRead(), 4);
    expectZeroFrom(0);
    expectGuardIntact();
}

TEST_F(SpectrumTest, Count1StopsWhenTheSecondSignWouldExceedTheBudget) {
    BitString bits;
    bits.code(quadCode(0, 1, 1, 0, 0)).putBit(1);  // v negative; w's sign is past the budget
    bits.putBit(0);
    granule.part23Length = bits.length() - 1;
    ASSERT_EQ(decode(bits), 0);
    EXPECT_EQ(area.bitsRead(), granule.part23Length);
    EXPECT_EQ(values[0], -1.0);
    expectZeroFrom(1);
    EXPECT_EQ(granule.longBandLimit, 1);
}

// In a short block the second value of the stopped pair sits three indices
// on; it is zeroed like every value after it, not left from the last granule.
TEST_F(SpectrumTest, Count1StopInsideAShortBlockPairZeroesTheRest) {
    granule.blockType = 2;
    granule.region1Pair = 18;
    BitString bits;
    bits.code(quadCode(0, 1, 1, 0, 0)).putBit(0);
    bits.putBit(0);
    granule.part23Length = bits.length() - 1;
    ASSERT_EQ(decode(bits), 0);
    EXPECT_EQ(values[0], 1.0);
    EXPECT_EQ(values[3], 0.0);
    values[0] = 0.0;
    expectZeroFrom(0);
}

TEST_F(SpectrumTest, Count1QuadruplesStopAtTheQuadrupleLimit) {
    granule.bigValues = 286;  // room for one quadruple
    granule.tableSelect[0] = 1;
    BitString bits;
    for (int p = 0; p < 286; ++p) putPair(bits, 1, 0, 0);
    bits.code(quadCode(0, 0, 0, 0, 1)).putBit(0);
    bits.code(quadCode(0, 1, 0, 0, 0)).putBit(0);  // past the limit: skipped, not decoded
    ASSERT_EQ(decode(bits), 0);
    EXPECT_EQ(area.bitsRead(), bits.length());
    EXPECT_EQ(values[575], 1.0);
    for (int i = 0; i < 575; ++i) ASSERT_EQ(values[i], 0.0) << i;
    EXPECT_EQ(granule.longBandLimit, 22);
    EXPECT_EQ(granule.activeSubbands, 32);
}

TEST_F(SpectrumTest, BigValuesOverrunningTheBudgetByOneBitReturnsOne) {
    granule.bigValues = 2;
    granule.tableSelect[0] = 5;
    BitString bits;
    putPair(bits, 5, 2, 3);
    putPair(bits, 5, 1, 1);
    granule.part23Length = bits.length() - 1;
    EXPECT_EQ(decode(bits), 1);
    EXPECT_EQ(granule.longBandLimit, 1);

    // Scale factors that already took more than part2_3_length.
    granule.part23Length = 10;
    BitString empty;
    EXPECT_EQ(decode(empty, 0, 11), 1);
}

TEST_F(SpectrumTest, FinishSkipsToTheEndOfTheGranule) {
    granule.bigValues = 1;
    granule.tableSelect[0] = 1;
    BitString bits;
    putPair(bits, 1, 1, 0);
    for (int i = 0; i < 40; ++i) bits.putBit(1);  // ancillary bits inside the budget
    granule.part23Length = bits.length() + 3;     // 3 of them are scale factor bits
    area.load(bits);
    ASSERT_EQ(decodeSpectrum(values.data(), scalefactors, &granule, 0, 3), 0);
    EXPECT_EQ(area.bitsRead(), bits.length());
}

// The LSF intensity channel's 5-bit scale factors reach gain positions past
// the standard's 378 entries; the extended table carries the same formula.
TEST_F(SpectrumTest, GainPositionsPastTheStandardTable) {
    granule.bigValues = 1;
    granule.tableSelect[0] = 1;
    granule.scalefacScale = 1;
    granule.gainBase = 258;  // global gain 0 with mid/side
    scalefactors[0] = 31;
    BitString bits;
    putPair(bits, 1, 1, 0);
    ASSERT_EQ(decode(bits, 3), 0);
    EXPECT_NEAR(values[0] / std::exp2(-(382 - 46) / 4.0), 1.0, 1e-14);

    granule.blockType = 2;
    granule.region1Pair = 18;
    granule.windowGainBase[0] = 258 + 8 * 7;
    ASSERT_EQ(decode(bits, 3), 0);
    EXPECT_NEAR(values[0] / std::exp2(-(438 - 46) / 4.0), 1.0, 1e-14);
}

// At the LSF and MPEG-2.5 rates the mixed list runs past index 575: the bits
// are consumed as the list says and those values are dropped.
TEST_F(SpectrumTest, MixedBlocksAtLsfRatesStayInsideTheSpectrum) {
    for (int sf : {3, 4, 5, 6, 7, 8}) {
        SetUp();
        granule.blockType = 2;
        granule.mixedBlock = 1;
        granule.region1Pair = 18;
        granule.bigValues = 288;
        granule.tableSelect[0] = 1;
        granule.tableSelect[1] = 1;
        granule.windowGainBase[0] = granule.windowGainBase[1] = granule.windowGainBase[2] = 50;
        BitString bits;
        for (int p = 0; p < 288; ++p) putPair(bits, 1, 1, 1);
        ASSERT_EQ(decode(bits, sf), 0) << sf;
        EXPECT_EQ(area.bitsRead(), 288 * 5) << sf;
        expectGuardIntact();
        const int longLines = sfBandTable[sf].longStart[8];
        for (int i = 0; i < longLines; ++i) ASSERT_EQ(values[i], 1.0) << sf << " " << i;
        for (int i = longLines; i < 576; ++i) ASSERT_TRUE(values[i] == 0.0 || values[i] == 0.5) << sf << " " << i;
        if (sf == 3) {
            // Short band 12 starts at 54 + (522 - 36); its window 2 is beyond the 288 pairs.
            for (int i = longLines; i < 576; ++i) {
                bool window2OfBand12 = i >= 542 && (i - 542) % 3 == 0;
                EXPECT_EQ(values[i], window2OfBand12 ? 0.0 : 0.5) << i;
            }
        }
    }
}

// Hostile side information: whatever the bits say, decoding reads nothing past
// the reservoir area (run under the address sanitizer) and reports an overrun.
TEST_F(SpectrumTest, HostileBigValuesNeverReadPastTheArea) {
    for (int table : {13, 15, 23, 24, 31}) {
        for (uint8_t filler : {uint8_t(0x00), uint8_t(0xFF)}) {
            SetUp();
            granule.bigValues = 288;
            granule.tableSelect[0] = granule.tableSelect[1] = granule.tableSelect[2] = table;
            granule.part23Length = 4095;
            BitString none;
            area.load(none, kLargestFrameBody - 8, kLargestFrameBody, filler);
            EXPECT_EQ(decodeSpectrum(values.data(), scalefactors, &granule, 0, 0), 1) << table;
            expectGuardIntact();
        }
    }
}

TEST_F(SpectrumTest, HostileCount1NeverReadsPastTheArea) {
    for (int table : {0, 1}) {
        for (uint8_t filler : {uint8_t(0x00), uint8_t(0xFF)}) {
            SetUp();
            granule.count1TableSelect = table;
            granule.part23Length = 4095;
            BitString none;
            area.load(none, kLargestFrameBody - 4, kLargestFrameBody, filler);
            EXPECT_EQ(decodeSpectrum(values.data(), scalefactors, &granule, 0, 0), 1) << table;
        }
    }
}

// A budget that ends far past the frame (part2_3_length 4095 near its end)
// is an overrun, and the cursor is not moved past the trusted bytes.
TEST_F(SpectrumTest, BudgetPastTheTrustedBytesIsAnOverrun) {
    granule.part23Length = 4095;
    granule.count1TableSelect = 0;
    BitString none;
    area.load(none, 100, 200, 0xFF);  // table A code "1": zero quadruples, 1 bit each
    EXPECT_EQ(decodeSpectrum(values.data(), scalefactors, &granule, 0, 0), 1);
    EXPECT_LE(readPointer, readLimit);
    expectZeroFrom(0);

    // The same granule ending exactly at the trusted end decodes normally.
    SetUp();
    granule.part23Length = 8 * 100;
    area.load(none, 100, 200, 0xFF);
    EXPECT_EQ(decodeSpectrum(values.data(), scalefactors, &granule, 0, 0), 0);
    EXPECT_EQ(readPointer, readLimit);
    EXPECT_EQ(bitIndex, 0);
}

}  // namespace
}  // namespace sorvil
