// Layer III tables: edge values, the band walk lists and the IMDCT windows
// checked against the standard's window formulas evaluated directly.
#include "decoder/layer3/tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace sorvil {
namespace {

class Layer3TablesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { initLayer3Tables(32); }
};

int listPairs(const SpectrumMapEntry* list, int count) {
    int pairs = 0;
    for (int i = 0; i < count; ++i) pairs += list[i].pairs;
    return pairs;
}

TEST_F(Layer3TablesTest, GainPowersHitTheGlobalGainEdges) {
    EXPECT_EQ(gainPowers[46], 1.0);                       // global gain 210
    EXPECT_EQ(gainPowers[256], std::pow(2.0, -52.5));     // global gain 0
    EXPECT_NEAR(gainPowers[256] / std::ldexp(std::sqrt(0.5), -52), 1.0, 1e-15);
    EXPECT_NEAR(gainPowers[0] / std::pow(2.0, 11.5), 1.0, 1e-15);
    EXPECT_EQ(gainPowers[42], 2.0);
    EXPECT_EQ(gainPowers[50], 0.5);
}

// The LSF intensity channel's 5-bit scale factors reach position 438 with a
// small global gain: the table continues with the same formula past 377.
TEST_F(Layer3TablesTest, GainPowersExtendPastTheStandardRangeWithTheSameFormula) {
    ASSERT_GE(kGainPowerCount, 439);
    for (int k = 0; k < kGainPowerCount; ++k) {
        double expected = std::exp2(-(k - 256 + 210) / 4.0);
        ASSERT_NEAR(gainPowers[k] / expected, 1.0, 1e-14) << k;
    }
    EXPECT_EQ(gainPowers[438], gainPowers[434] / 2.0);
}

TEST_F(Layer3TablesTest, PowFourThirdsCoversLinbitsRange) {
    EXPECT_EQ(powFourThirds[0], 0.0);
    EXPECT_EQ(powFourThirds[1], 1.0);
    EXPECT_NEAR(powFourThirds[8], 16.0, 1e-13);
    EXPECT_NEAR(powFourThirds[8206] / std::cbrt(8206.0 * 8206.0 * 8206.0 * 8206.0), 1.0, 1e-14);
}

TEST_F(Layer3TablesTest, BandTableWidthsAreDifferencesOfStarts) {
    for (int sf = 0; sf < 9; ++sf) {
        const SfBandInfo& t = sfBandTable[sf];
        EXPECT_EQ(t.longStart[0], 0);
        EXPECT_EQ(t.longStart[22], 576);
        EXPECT_EQ(t.shortStart[0], 0);
        EXPECT_EQ(t.shortStart[13], 576);
        for (int b = 0; b < 22; ++b) EXPECT_EQ(t.longWidth[b], t.longStart[b + 1] - t.longStart[b]) << sf;
        for (int b = 0; b < 13; ++b) EXPECT_EQ(3 * t.shortWidth[b], t.shortStart[b + 1] - t.shortStart[b]) << sf;
    }
    for (int sf = 6; sf < 8; ++sf)
        for (int b = 0; b < 23; ++b) EXPECT_EQ(sfBandTable[sf].longStart[b], sfBandTable[5].longStart[b]);
    const int widths8k[22] = {12, 12, 12, 12, 12, 12, 16, 20, 24, 28, 32, 40, 48, 56, 64, 76, 90, 2, 2, 2, 2, 2};
    const int shortWidths8k[13] = {8, 8, 8, 12, 16, 20, 24, 28, 36, 2, 2, 2, 26};
    for (int b = 0; b < 22; ++b) EXPECT_EQ(sfBandTable[8].longWidth[b], widths8k[b]);
    for (int b = 0; b < 13; ++b) EXPECT_EQ(sfBandTable[8].shortWidth[b], shortWidths8k[b]);
}

TEST_F(Layer3TablesTest, SubbandLimitRows) {
    const int long441[23] = {1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 4, 4, 5, 6, 7, 8, 10, 12, 14, 17, 20, 24, 32};
    const int short441[14] = {1, 1, 2, 2, 3, 4, 5, 7, 9, 11, 14, 18, 23, 32};
    const int long8k[23] = {1, 2, 2, 3, 4, 4, 5, 6, 7, 8, 10, 12, 14, 16, 20, 23, 27, 32, 32, 32, 32, 32, 32};
    for (int i = 0; i < 23; ++i) EXPECT_EQ(longSubbandLimit[0][i], long441[i]) << i;
    for (int i = 0; i < 14; ++i) EXPECT_EQ(shortSubbandLimit[0][i], short441[i]) << i;
    for (int i = 0; i < 23; ++i) EXPECT_EQ(longSubbandLimit[8][i], long8k[i]) << i;
    for (int sf = 0; sf < 9; ++sf) EXPECT_EQ(shortSubbandLimit[sf][0], 1);
}

TEST_F(Layer3TablesTest, BandWalkListsCoverTheSpectrum) {
    for (int sf = 0; sf < 9; ++sf) {
        const SpectrumMapLists& lists = spectrumMap[sf];
        ASSERT_EQ(spectrumMapEnd[sf][MAP_LONG], 22);
        ASSERT_EQ(spectrumMapEnd[sf][MAP_SHORT], 39);
        ASSERT_EQ(spectrumMapEnd[sf][MAP_MIXED], 38);
        EXPECT_EQ(listPairs(lists.longList, 22), 288);
        EXPECT_EQ(listPairs(lists.shortList, 39), 288);
        int mixedPairs = sf < 3 ? 288 : sf < 8 ? 297 : 306;
        EXPECT_EQ(listPairs(lists.mixed, 38), mixedPairs) << sf;
    }
}

// Every index of the short list is hit exactly once; the mixed list does the
// same at the MPEG-1 rates and runs past 575 at the others.
TEST_F(Layer3TablesTest, BandWalkIndicesInterleaveTheWindows) {
    for (int sf = 0; sf < 9; ++sf) {
        std::vector<int> hits(700, 0);
        for (const SpectrumMapEntry& e : spectrumMap[sf].shortList) {
            EXPECT_EQ(e.firstIndex, sfBandTable[sf].shortStart[e.band] + e.window);
            for (int k = 0; k < 2 * e.pairs; ++k) ++hits[e.firstIndex + 3 * k];
        }
        for (int i = 0; i < 576; ++i) ASSERT_EQ(hits[i], 1) << sf << " " << i;

        std::fill(hits.begin(), hits.end(), 0);
        int highest = 0;
        for (const SpectrumMapEntry& e : spectrumMap[sf].mixed) {
            int step = e.window == 3 ? 1 : 3;
            for (int k = 0; k < 2 * e.pairs; ++k) {
                ++hits[e.firstIndex + step * k];
                highest = std::max(highest, e.firstIndex + step * k);
            }
        }
        int expectedHighest = sf < 3 ? 575 : sf < 8 ? 593 : 611;
        EXPECT_EQ(highest, expectedHighest) << sf;
        if (sf < 3) {
            for (int i = 0; i < 576; ++i) ASSERT_EQ(hits[i], 1) << sf << " " << i;
        }
    }
}

TEST_F(Layer3TablesTest, LsfLayoutWords) {
    auto slen = [](uint32_t word, int p) { return int(word >> (3 * p)) & 7; };
    auto row = [](uint32_t word) { return int(word >> 12) & 7; };
    auto preflag = [](uint32_t word) { return int(word >> 15) & 1; };

    uint32_t last = lsfSlenNormal[511];
    EXPECT_EQ(slen(last, 0), 3);
    EXPECT_EQ(slen(last, 1), 2);
    EXPECT_EQ(slen(last, 2), 0);
    EXPECT_EQ(slen(last, 3), 0);
    EXPECT_EQ(row(last), 2);
    EXPECT_EQ(preflag(last), 1);

    uint32_t lastIntensity = lsfSlenIntensity[255];
    EXPECT_EQ(slen(lastIntensity, 0), 3);
    EXPECT_EQ(slen(lastIntensity, 1), 2);
    EXPECT_EQ(slen(lastIntensity, 2), 0);
    EXPECT_EQ(row(lastIntensity), 5);
    EXPECT_EQ(preflag(lastIntensity), 0);

    // The standard's arithmetic decoding of scalefac_compress, evaluated directly.
    for (int sc = 0; sc < 512; ++sc) {
        uint32_t w = lsfSlenNormal[sc];
        int s[4];
        int r;
        if (sc < 400) {
            s[0] = (sc >> 4) / 5, s[1] = (sc >> 4) % 5, s[2] = (sc % 16) >> 2, s[3] = sc % 4, r = 0;
        } else if (sc < 500) {
            int x = sc - 400;
            s[0] = (x >> 2) / 5, s[1] = (x >> 2) % 5, s[2] = x % 4, s[3] = 0, r = 1;
        } else {
            int x = sc - 500;
            s[0] = x / 3, s[1] = x % 3, s[2] = 0, s[3] = 0, r = 2;
        }
        for (int p = 0; p < 4; ++p) ASSERT_EQ(slen(w, p), s[p]) << sc;
        ASSERT_EQ(row(w), r) << sc;
        ASSERT_EQ(preflag(w), sc >= 500 ? 1 : 0) << sc;
    }
    for (int x = 0; x < 256; ++x) {
        uint32_t w = lsfSlenIntensity[x];
        int s[3];
        int r;
        if (x < 180) {
            s[0] = x / 36, s[1] = (x % 36) / 6, s[2] = x % 6, r = 3;
        } else if (x < 244) {
            int y = x - 180;
            s[0] = y >> 4, s[1] = (y % 16) >> 2, s[2] = y % 4, r = 4;
        } else {
            int y = x - 244;
            s[0] = y / 3, s[1] = y % 3, s[2] = 0, r = 5;
        }
        for (int p = 0; p < 3; ++p) ASSERT_EQ(slen(w, p), s[p]) << x;
        ASSERT_EQ(slen(w, 3), 0);
        ASSERT_EQ(row(w), r) << x;
        ASSERT_EQ(preflag(w), 0);
    }
}

// The standard's windows (ISO/IEC 11172-3, IMDCT windowing by block type).
double standardWindow(int blockType, int n) {
    const double pi = std::numbers::pi;
    auto longSine = [&](int i) { return std::sin(pi / 36 * (i + 0.5)); };
    auto shortSine = [&](int i) { return std::sin(pi / 12 * (i + 0.5)); };
    switch (blockType) {
        case 0:
            return longSine(n);
        case 1:
            if (n < 18) return longSine(n);
            if (n < 24) return 1.0;
            if (n < 30) return shortSine(n - 18);
            return 0.0;
        case 3:
            if (n < 6) return 0.0;
            if (n < 12) return shortSine(n - 6);
            if (n < 18) return 1.0;
            return longSine(n);
        default:
            return shortSine(n);
    }
}

TEST_F(Layer3TablesTest, WindowsAreTheStandardWindowsOverTheOutputCosines) {
    const double pi = std::numbers::pi;
    for (int r : {0, 1, 3}) {
        for (int n = 0; n < 36; ++n) {
            double expected = standardWindow(r, n) * 0.5 / std::cos(pi * (2 * n + 19) / 72);
            EXPECT_NEAR(imdctWindow[r][n], expected, 1e-12 * std::max(1.0, std::fabs(expected))) << r << " " << n;
        }
    }
    for (int n = 0; n < 12; ++n) {
        double expected = standardWindow(2, n) * 0.5 / std::cos(pi * (2 * n + 7) / 24);
        EXPECT_NEAR(imdctWindow[2][n], expected, 1e-12 * std::max(1.0, std::fabs(expected))) << n;
    }
    for (int n = 12; n < 36; ++n) EXPECT_EQ(imdctWindow[2][n], 0.0);
}

TEST_F(Layer3TablesTest, SignedWindowsNegateOddEntries) {
    EXPECT_EQ(imdctWindowSigned[2][1], -imdctWindow[2][1]);
    EXPECT_NE(imdctWindow[2][1], 0.0);
    EXPECT_EQ(imdctWindowSigned[2][12], 0.0);
    for (int r = 0; r < 4; ++r)
        for (int n = 0; n < imdctWindowLengths[r]; ++n)
            EXPECT_EQ(imdctWindowSigned[r][n], (n % 2 ? -1 : 1) * imdctWindow[r][n]) << r << " " << n;
}

TEST_F(Layer3TablesTest, ImdctAndAntialiasConstants) {
    const double pi = std::numbers::pi;
    for (int k = 0; k < 9; ++k) {
        EXPECT_NEAR(cos18[k], std::cos(k * pi / 18), 1e-15);
        EXPECT_NEAR(halfSecant36[k] * std::cos((2 * k + 1) * pi / 36), 0.5, 1e-14);
    }
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(halfSecant12[k] * std::cos((2 * k + 1) * pi / 12), 0.5, 1e-14);
    EXPECT_NEAR(cosPi6, std::sqrt(3.0) / 2, 1e-15);
    EXPECT_NEAR(cosPi3, 0.5, 1e-15);
    for (int i = 0; i < 8; ++i) {
        EXPECT_NEAR(antialiasCs[i] * antialiasCs[i] + antialiasCa[i] * antialiasCa[i], 1.0, 1e-15);
        EXPECT_NEAR(antialiasCa[i] / antialiasCs[i], antialiasCoefficients[i], 1e-15);
    }
}

TEST_F(Layer3TablesTest, IntensityFactors) {
    EXPECT_EQ(isRatioLeft[0], 0.0);
    EXPECT_EQ(isRatioRight[0], 1.0);
    EXPECT_NEAR(isRatioLeft[3], 0.5, 1e-15);
    EXPECT_NEAR(isRatioRight[3], 0.5, 1e-15);
    // At position 6 the tangent of (nearly) pi/2 is huge but finite.
    EXPECT_TRUE(std::isfinite(isRatioLeft[6]));
    EXPECT_NEAR(isRatioLeft[6], 1.0, 1e-15);
    EXPECT_LT(isRatioRight[6], 1e-15);
    EXPECT_NEAR(isRatioLeftMs[3], std::sqrt(0.5), 1e-15);
    for (int j = 0; j < 2; ++j) {
        double io = std::pow(2.0, -(j + 1) / 4.0);
        EXPECT_EQ(lsfIsLeft[j][0], 1.0);
        EXPECT_EQ(lsfIsRight[j][0], 1.0);
        for (int p = 1; p < 16; ++p) {
            double left = p % 2 ? std::pow(io, (p + 1) / 2) : 1.0;
            double right = p % 2 ? 1.0 : std::pow(io, p / 2);
            EXPECT_NEAR(lsfIsLeft[j][p], left, 1e-15) << j << " " << p;
            EXPECT_NEAR(lsfIsRight[j][p], right, 1e-15) << j << " " << p;
            EXPECT_NEAR(lsfIsLeftMs[j][p], std::sqrt(2.0) * left, 1e-15);
            EXPECT_NEAR(lsfIsRightMs[j][p], std::sqrt(2.0) * right, 1e-15);
        }
    }
}

TEST_F(Layer3TablesTest, ConstantScaleFactorTables) {
    EXPECT_EQ(slenTable[0][15], 4);
    EXPECT_EQ(slenTable[1][15], 3);
    EXPECT_EQ(lsfBandCounts[2][5][1], 18);
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 6; ++r) {
            int total = 0;
            for (int p = 0; p < 4; ++p) total += lsfBandCounts[c][r][p];
            EXPECT_EQ(total, c == 0 ? 21 : c == 1 ? 36 : 33) << c << " " << r;
        }
    int preTotal = 0;
    for (int b = 0; b < 22; ++b) preTotal += pretab[b];
    EXPECT_EQ(preTotal, 1 * 4 + 2 * 3 + 3 * 3);
    EXPECT_EQ(pretab[21], 0);
}

}  // namespace
}  // namespace sorvil
