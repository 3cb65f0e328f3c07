// Joint stereo: mid/side, intensity stereo over long, short and mixed blocks
// for MPEG-1 and LSF frames, and the active-subband equalisation. Expected
// factors are computed here from the standard's formulas, not taken from the
// decoder's tables.
#include "decoder/layer3/stereo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "decoder/layer3/tables.h"

namespace sorvil {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kLines = 576;
constexpr int kUntouched = -1;

class StereoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { initLayer3Tables(32); }
};

struct Factors {
    double left;
    double right;
};

Factors mpeg1Factors(int position, bool msStereo) {
    // The angle as an integer times the double nearest pi/12, so that position
    // 9 (tangent -1, factors near 1e16) is formed like the decoder forms it.
    const double t = std::tan(position * (kPi / 12));
    const double scale = msStereo ? std::sqrt(2.0) : 1.0;
    return {scale * t / (1 + t), scale / (1 + t)};
}

// A position 0..15 for test data, avoiding 9: there the tangent is -1 and the
// factors (about 1e16) depend on the last bits of the angle.
int mpeg1Position(int n) { return n % 16 == 9 ? 10 : n % 16; }

Factors lsfFactors(int position, int row, bool msStereo) {
    const double io = std::pow(2.0, -(row + 1) / 4.0);
    const double scale = msStereo ? std::sqrt(2.0) : 1.0;
    if (position == 0) return {scale, scale};
    if (position % 2 == 1) return {scale * std::pow(io, (position + 1) / 2), scale};
    return {scale, scale * std::pow(io, position / 2)};
}

std::vector<double> randomSpectra(unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> value(-1000.0, 1000.0);
    std::vector<double> spectra(2 * kLines);
    for (double& v : spectra) v = value(generator);
    return spectra;
}

GranuleInfo granuleOf(int blockType, int mixedBlock) {
    GranuleInfo granule{};
    granule.blockType = blockType;
    granule.mixedBlock = mixedBlock;
    return granule;
}

// Runs intensity stereo and checks every line of both channels: lines whose
// expected position is kUntouched (or 7 in an MPEG-1 frame) keep both values,
// the others carry channel 0's value times that position's factors. LSF
// entries default to 5-bit widths (illegal position 31).
class IntensityCase {
public:
    IntensityCase(const GranuleInfo& granule, int samplingFrequency, bool msStereo, bool lsf)
        : granule_(granule), samplingFrequency_(samplingFrequency), msStereo_(msStereo), lsf_(lsf),
          expectedPosition_(kLines, kUntouched) {
        for (int i = 0; i < 39; ++i) {
            scalefactors_[i] = 0;
            illegalPositions_[i] = 31;
        }
    }

    int* scalefactors() { return scalefactors_; }
    int* illegalPositions() { return illegalPositions_; }
    void expect(int line, int position) { expectedPosition_[line] = position; }
    void expectRange(int first, int count, int stride, int position) {
        for (int k = 0; k < count; ++k) expect(first + stride * k, position);
    }

    void runAndCheck(unsigned seed = 1) {
        const std::vector<double> before = randomSpectra(seed);
        std::vector<double> after = before;
        applyIntensityStereo(after.data(), scalefactors_, illegalPositions_, &granule_, samplingFrequency_, msStereo_,
                             lsf_);
        const int row = granule_.scalefacCompress & 1;
        for (int line = 0; line < kLines; ++line) {
            const int position = expectedPosition_[line];
            if (position == kUntouched || (!lsf_ && position == 7)) {
                ASSERT_EQ(after[line], before[line]) << "line " << line;
                ASSERT_EQ(after[kLines + line], before[kLines + line]) << "line " << line;
                continue;
            }
            const Factors f = lsf_ ? lsfFactors(position, row, msStereo_) : mpeg1Factors(position, msStereo_);
            const double v = before[line];
            ASSERT_NEAR(after[line], v * f.left, tolerance(v * f.left)) << "line " << line << " position " << position;
            ASSERT_NEAR(after[kLines + line], v * f.right, tolerance(v * f.right))
                << "line " << line << " position " << position;
        }
    }

private:
    static double tolerance(double expected) { return 1e-12 * std::max(1.0, std::fabs(expected)); }

    GranuleInfo granule_;
    int samplingFrequency_;
    bool msStereo_;
    bool lsf_;
    int scalefactors_[39];
    int illegalPositions_[39];
    std::vector<int> expectedPosition_;
};

TEST_F(StereoTest, MidSideTurnsEveryLineIntoSumAndDifference) {
    const std::vector<double> before = randomSpectra(5);
    std::vector<double> after = before;
    applyMidSide(after.data());
    for (int i = 0; i < kLines; ++i) {
        EXPECT_EQ(after[i], before[i] + before[kLines + i]) << i;
        EXPECT_EQ(after[kLines + i], before[i] - before[kLines + i]) << i;
    }
}

TEST_F(StereoTest, EqualisationGivesBothChannelsTheLargerActiveSubbands) {
    GranuleInfo left{};
    GranuleInfo right{};
    left.activeSubbands = 5;
    right.activeSubbands = 9;
    equaliseActiveSubbands(&left, &right);
    EXPECT_EQ(left.activeSubbands, 9);
    EXPECT_EQ(right.activeSubbands, 9);
    left.activeSubbands = 32;
    right.activeSubbands = 1;
    equaliseActiveSubbands(&left, &right);
    EXPECT_EQ(left.activeSubbands, 32);
    EXPECT_EQ(right.activeSubbands, 32);
}

TEST_F(StereoTest, LongBlockEachBandFromTheLimitCoversExactlyItsLinesAtEveryRate) {
    for (int sf = 0; sf < 9; ++sf) {
        for (int blockType : {0, 1, 3}) {
            const bool lsf = sf >= 3;
            const int limit = 9 + blockType;
            GranuleInfo granule = granuleOf(blockType, 1);  // mixedBlock plays no part for long blocks
            granule.longBandLimit = limit;
            IntensityCase c(granule, sf, false, lsf);
            const SfBandInfo& bands = sfBandTable[sf];
            for (int b = 0; b < 21; ++b) c.scalefactors()[b] = mpeg1Position(b * 5);
            for (int b = limit; b < 21; ++b)
                c.expectRange(bands.longStart[b], bands.longStart[b + 1] - bands.longStart[b], 1, c.scalefactors()[b]);
            c.expectRange(bands.longStart[21], 576 - bands.longStart[21], 1, c.scalefactors()[20]);
            c.runAndCheck(sf * 10 + blockType);
        }
    }
}

TEST_F(StereoTest, LongBlockLimitsAndPositions) {
    auto caseWithLimit = [](int limit, bool msStereo) {
        GranuleInfo granule = granuleOf(0, 0);
        granule.longBandLimit = limit;
        return IntensityCase(granule, 0, msStereo, false);
    };
    {
        // Limit 21: only the top band, with band 20's position; position 0 sends
        // everything right.
        IntensityCase c = caseWithLimit(21, false);
        c.scalefactors()[20] = 0;
        c.expectRange(418, 158, 1, 0);
        c.runAndCheck();
    }
    {
        // Limit 22: nothing changes, the top band included.
        IntensityCase c = caseWithLimit(22, false);
        for (int b = 0; b < 21; ++b) c.scalefactors()[b] = 3;
        c.runAndCheck();
    }
    {
        // Mid/side and intensity together: the square-root-of-two factors, and
        // position 7 leaves a band (here band 19) as it is.
        IntensityCase c = caseWithLimit(17, true);
        const int positions[4] = {2, 6, 7, 11};
        const int starts[6] = {196, 238, 288, 342, 418, 576};
        for (int b = 17; b < 21; ++b) {
            c.scalefactors()[b] = positions[b - 17];
            c.expectRange(starts[b - 17], starts[b - 16] - starts[b - 17], 1, positions[b - 17]);
        }
        c.expectRange(418, 158, 1, 11);
        c.runAndCheck();
    }
}

TEST_F(StereoTest, ShortBlockWindowsStartAtTheirOwnLimitsAndBand12TakesBand11sPosition) {
    GranuleInfo granule = granuleOf(2, 0);
    granule.shortBandLimit[0] = 4;
    granule.shortBandLimit[1] = 12;
    granule.shortBandLimit[2] = 13;
    IntensityCase c(granule, 1, false, false);
    const SfBandInfo& bands = sfBandTable[1];
    for (int i = 0; i < 36; ++i) c.scalefactors()[i] = mpeg1Position(i * 7 + 1);
    for (int b = 4; b < 12; ++b) c.expectRange(bands.shortStart[b] + 0, bands.shortWidth[b], 3, c.scalefactors()[3 * b]);
    for (int w = 0; w < 3; ++w) c.expectRange(bands.shortStart[12] + w, bands.shortWidth[12], 3, c.scalefactors()[33 + w]);
    c.runAndCheck();
}

TEST_F(StereoTest, MixedBlockLongBandsOnlyWhenTheShortPartOfTheRightChannelIsEmpty) {
    const SfBandInfo& bands = sfBandTable[0];
    for (int widestLimit : {3, 4}) {
        GranuleInfo granule = granuleOf(2, 1);
        granule.shortBandLimit[0] = 3;
        granule.shortBandLimit[1] = widestLimit;
        granule.shortBandLimit[2] = 3;
        granule.longBandLimit = 5;
        IntensityCase c(granule, 0, false, false);
        for (int i = 0; i < 38; ++i) c.scalefactors()[i] = mpeg1Position(i * 3 + 2);
        for (int w = 0; w < 3; ++w) {
            for (int b = granule.shortBandLimit[w]; b < 12; ++b)
                c.expectRange(bands.shortStart[b] + w, bands.shortWidth[b], 3, c.scalefactors()[3 * b + w - 1]);
            c.expectRange(bands.shortStart[12] + w, bands.shortWidth[12], 3, c.scalefactors()[32 + w]);
        }
        if (widestLimit == 3) {
            for (int b = 5; b < 8; ++b) c.expectRange(bands.longStart[b], bands.longWidth[b], 1, c.scalefactors()[b]);
        }
        c.runAndCheck(widestLimit);
    }
}

TEST_F(StereoTest, LsfRowFollowsScalefacCompressParityWithAndWithoutMidSide) {
    for (int compress : {100, 101}) {
        for (bool msStereo : {false, true}) {
            GranuleInfo granule = granuleOf(0, 0);
            granule.scalefacCompress = compress;
            granule.longBandLimit = 6;
            IntensityCase c(granule, 4, msStereo, true);
            const SfBandInfo& bands = sfBandTable[4];
            for (int b = 6; b < 21; ++b) {
                c.scalefactors()[b] = b - 6;  // positions 0 .. 14, 7 among them (processed at 5 bits)
                c.expectRange(bands.longStart[b], bands.longWidth[b], 1, b - 6);
            }
            c.expectRange(bands.longStart[21], bands.longWidth[21], 1, 14);
            c.runAndCheck(compress);
        }
    }
}

// The 5-bit positions of the LSF intensity channel go past the 16-entry
// factor rows; they follow the same formula, except 31, the illegal position
// of a 5-bit band.
TEST_F(StereoTest, LsfPositionsSixteenToThirtyOneFollowTheFactorFormula) {
    for (int compress : {0, 1}) {
        for (bool msStereo : {false, true}) {
            GranuleInfo granule = granuleOf(2, 0);
            granule.scalefacCompress = compress;
            IntensityCase c(granule, 3, msStereo, true);
            const SfBandInfo& bands = sfBandTable[3];
            for (int w = 0; w < 3; ++w) {
                for (int b = 0; b < 12; ++b) {
                    const int position = 16 + (3 * b + w) % 16;  // every one of 16 .. 31
                    c.scalefactors()[3 * b + w] = position;
                    c.expectRange(bands.shortStart[b] + w, bands.shortWidth[b], 3, position == 31 ? kUntouched : position);
                }
                c.expectRange(bands.shortStart[12] + w, bands.shortWidth[12], 3, c.scalefactors()[33 + w]);
            }
            c.runAndCheck(compress + 2 * msStereo);
        }
    }
}

// An LSF band is left unchanged at the largest value of its scale factor's
// width, 2^slen - 1, and processed at every other position; MPEG-1 bands only
// at 7, whatever the reader's widths.
TEST_F(StereoTest, LsfIllegalPositionIsTheLargestValueOfTheBandsWidth) {
    struct Band {
        int band, width, position;
        bool processed;  // in an LSF frame
    };
    const Band cases[] = {{14, 4, 7, true},  {15, 4, 15, false}, {16, 1, 1, false}, {17, 1, 0, true},
                          {18, 3, 7, false}, {19, 5, 16, true},  {20, 0, 0, false}};
    for (bool lsf : {true, false}) {
        GranuleInfo granule = granuleOf(0, 0);
        granule.longBandLimit = 14;
        IntensityCase c(granule, lsf ? 4 : 1, false, lsf);
        const SfBandInfo& bands = sfBandTable[lsf ? 4 : 1];
        for (const Band& b : cases) {
            c.scalefactors()[b.band] = b.position;
            c.illegalPositions()[b.band] = (1 << b.width) - 1;
            const bool processed = lsf ? b.processed : b.position != 7 && b.position < 16;
            if (processed) c.expectRange(bands.longStart[b.band], bands.longWidth[b.band], 1, b.position);
        }
        // The top band takes band 20's position and illegal position (a 0-bit band's is 0).
        if (!lsf) c.expectRange(bands.longStart[21], bands.longWidth[21], 1, 0);
        c.runAndCheck(lsf);
    }
}

// The LSF top band (long 21, short 12) borrows the band below's position only
// when that band is intensity-coded; otherwise it is processed with position
// 0. A window whose right channel holds values in band 12 is left as it is.
TEST_F(StereoTest, LsfTopBandBorrowsOnlyFromAnIntensityCodedBand) {
    for (bool msStereo : {false, true}) {
        for (int limit : {20, 21}) {
            GranuleInfo granule = granuleOf(0, 0);
            granule.longBandLimit = limit;
            IntensityCase c(granule, 3, msStereo, true);
            const SfBandInfo& bands = sfBandTable[3];
            c.scalefactors()[20] = 5;
            c.illegalPositions()[20] = 7;
            if (limit == 20) c.expectRange(bands.longStart[20], bands.longWidth[20], 1, 5);
            c.expectRange(bands.longStart[21], bands.longWidth[21], 1, limit == 20 ? 5 : 0);
            c.runAndCheck(limit);
        }
        GranuleInfo granule = granuleOf(2, 0);
        const int limits[3] = {11, 12, 13};
        for (int w = 0; w < 3; ++w) granule.shortBandLimit[w] = limits[w];
        IntensityCase c(granule, 5, msStereo, true);
        const SfBandInfo& bands = sfBandTable[5];
        for (int w = 0; w < 3; ++w) {
            c.scalefactors()[33 + w] = 3 + w;
            c.illegalPositions()[33 + w] = 15;
        }
        c.expectRange(bands.shortStart[11], bands.shortWidth[11], 3, 3);
        c.expectRange(bands.shortStart[12], bands.shortWidth[12], 3, 3);
        c.expectRange(bands.shortStart[12] + 1, bands.shortWidth[12], 3, 0);
        c.runAndCheck(msStereo);
    }
}

}  // namespace
}  // namespace sorvil
