// Alias reduction and the hybrid filterbank: butterflies per block kind, the
// window and transform chosen for every subband (checked against a direct
// inverse MDCT with the standard's windows), frequency inversion of odd
// subbands, pass-through of inactive subbands and the overlap rotation.
#include "decoder/layer3/hybrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "decoder/decoder_state.h"
#include "decoder/layer3/tables.h"

namespace sorvil {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTolerance = 1e-10;
const double kAliasCoefficients[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

class HybridTest : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = std::make_unique<DecoderState>();
        decoderInit(state_.get());
        currentDecoder = state_.get();
    }
    std::unique_ptr<DecoderState> state_;
};

std::vector<double> randomValues(unsigned seed, int count) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> values(count);
    for (double& v : values) v = value(generator);
    return values;
}

GranuleInfo granuleOf(int blockType, int mixedBlock, int activeSubbands) {
    GranuleInfo granule{};
    granule.blockType = blockType;
    granule.mixedBlock = mixedBlock;
    granule.activeSubbands = activeSubbands;
    return granule;
}

double longWindow(int blockType, int i) {
    const double sine36 = std::sin(kPi / 36 * (i + 0.5));
    if (blockType == 1) return i < 18 ? sine36 : i < 24 ? 1.0 : i < 30 ? std::sin(kPi / 12 * (i - 18 + 0.5)) : 0.0;
    if (blockType == 3) return i < 6 ? 0.0 : i < 12 ? std::sin(kPi / 12 * (i - 6 + 0.5)) : i < 18 ? 1.0 : sine36;
    return sine36;
}

// The 36 windowed samples of one subband: one long transform, or three short
// ones overlapped at 6, 12 and 18.
std::vector<double> windowedSpan(const double* lines, bool shortBlock, int blockType) {
    std::vector<double> span(36, 0.0);
    if (!shortBlock) {
        for (int i = 0; i < 36; ++i) {
            double sum = 0.0;
            for (int k = 0; k < 18; ++k) sum += lines[k] * std::cos(kPi / 72 * (2 * i + 19) * (2 * k + 1));
            span[i] = sum * longWindow(blockType, i);
        }
        return span;
    }
    for (int u = 0; u < 3; ++u) {
        for (int p = 0; p < 12; ++p) {
            double sum = 0.0;
            for (int j = 0; j < 6; ++j) sum += lines[3 * j + u] * std::cos(kPi / 24 * (2 * p + 7) * (2 * j + 1));
            span[6 + 6 * u + p] += sum * std::sin(kPi / 12 * (p + 0.5));
        }
    }
    return span;
}

struct Expected {
    double output[18][32];
    double next[576];
};

// What the filterbank must produce, from the definitions: the two lowest
// subbands of a mixed block are long blocks with the normal window; the
// active subbands (rounded up to a pair) are transformed; odd subbands have
// their odd time slots negated; the rest pass the previous overlap through.
Expected reference(const std::vector<double>& spectrum, const std::vector<double>& previous, const GranuleInfo& g) {
    Expected e{};
    int transformed = (g.activeSubbands + 1) / 2 * 2;
    if (g.mixedBlock && transformed < 2) transformed = 2;
    for (int s = 0; s < 32; ++s) {
        for (int t = 0; t < 18; ++t) {
            e.output[t][s] = previous[18 * s + t];
            e.next[18 * s + t] = 0.0;
        }
        if (s >= transformed) continue;
        const bool longPart = g.mixedBlock && s < 2;
        const bool shortBlock = g.blockType == 2 && !longPart;
        const std::vector<double> span = windowedSpan(&spectrum[18 * s], shortBlock, longPart ? 0 : g.blockType);
        for (int t = 0; t < 18; ++t) {
            const double sign = (s % 2 == 1 && t % 2 == 1) ? -1.0 : 1.0;
            e.output[t][s] += sign * span[t];
            e.next[18 * s + t] = sign * span[18 + t];
        }
    }
    return e;
}

void checkAgainstReference(const Expected& e, double (*output)[32], const double* next, const char* what) {
    for (int s = 0; s < 32; ++s) {
        for (int t = 0; t < 18; ++t) {
            ASSERT_NEAR(output[t][s], e.output[t][s], kTolerance) << what << " subband " << s << " slot " << t;
            ASSERT_NEAR(next[18 * s + t], e.next[18 * s + t], kTolerance) << what << " subband " << s << " slot " << t;
        }
    }
}

TEST_F(HybridTest, AntialiasButterfliesPerBlockKind) {
    struct Case {
        int blockType, mixedBlock, activeSubbands, boundaries;
    };
    const Case cases[] = {
        {0, 0, 1, 0}, {0, 0, 7, 6}, {1, 1, 32, 31}, {3, 1, 4, 3}, {2, 0, 32, 0}, {2, 1, 32, 1},
    };
    for (const Case& c : cases) {
        const std::vector<double> before = randomValues(c.activeSubbands, 576);
        std::vector<double> after = before;
        const GranuleInfo granule = granuleOf(c.blockType, c.mixedBlock, c.activeSubbands);
        antialias(after.data(), &granule);

        std::vector<double> expected = before;
        for (int s = 0; s < c.boundaries; ++s) {
            for (int i = 0; i < 8; ++i) {
                const double ci = kAliasCoefficients[i];
                const double cs = 1 / std::sqrt(1 + ci * ci);
                const double ca = ci / std::sqrt(1 + ci * ci);
                const double lo = expected[18 * s + 17 - i];
                const double hi = expected[18 * (s + 1) + i];
                expected[18 * s + 17 - i] = lo * cs - hi * ca;
                expected[18 * (s + 1) + i] = hi * cs + lo * ca;
            }
        }
        for (int line = 0; line < 576; ++line)
            ASSERT_NEAR(after[line], expected[line], 1e-14)
                << "block type " << c.blockType << " mixed " << c.mixedBlock << " line " << line;
    }
}

TEST_F(HybridTest, EveryBlockKindTransformsItsSubbandsWithTheStandardWindows) {
    struct Case {
        int blockType, mixedBlock, activeSubbands;
    };
    const Case cases[] = {{0, 0, 32}, {1, 0, 5}, {3, 0, 12}, {2, 0, 32}, {2, 0, 1},
                          {2, 1, 9},  {2, 1, 1}, {1, 1, 6},  {3, 1, 31}, {0, 0, 1}};
    unsigned seed = 0;
    for (const Case& c : cases) {
        SetUp();
        const GranuleInfo granule = granuleOf(c.blockType, c.mixedBlock, c.activeSubbands);
        std::vector<double> spectrum = randomValues(++seed, 576);
        // Lines above the active subbands are zero, as the Huffman stage leaves them.
        int transformedEnd = std::max(c.mixedBlock ? 2 : 0, (c.activeSubbands + 1) / 2 * 2);
        for (int line = 18 * transformedEnd; line < 576; ++line) spectrum[line] = 0.0;
        const std::vector<double> previous = randomValues(++seed, 576);
        for (int i = 0; i < 576; ++i) state_->hybridBlock[0][1][i] = previous[i];

        const Expected e = reference(spectrum, previous, granule);
        double output[18][32];
        std::vector<double> work = spectrum;
        hybridFilterbank(work.data(), output, 1, &granule);
        const std::string what = "block type " + std::to_string(c.blockType) + " mixed " +
                                 std::to_string(c.mixedBlock) + " active " + std::to_string(c.activeSubbands);
        checkAgainstReference(e, output, state_->hybridBlock[1][1], what.c_str());
    }
}

TEST_F(HybridTest, InactiveSubbandsPassThePreviousOverlapAndClearTheNext) {
    const GranuleInfo granule = granuleOf(0, 0, 5);
    std::vector<double> spectrum(576, 0.0);
    const std::vector<double> previous = randomValues(9, 576);
    for (int i = 0; i < 576; ++i) {
        state_->hybridBlock[0][0][i] = previous[i];
        state_->hybridBlock[1][0][i] = 777.0;
    }
    double output[18][32];
    hybridFilterbank(spectrum.data(), output, 0, &granule);
    for (int s = 6; s < 32; ++s) {
        for (int t = 0; t < 18; ++t) {
            EXPECT_EQ(output[t][s], previous[18 * s + t]) << s << " " << t;  // copied, no sign change
            EXPECT_EQ(state_->hybridBlock[1][0][18 * s + t], 0.0) << s << " " << t;
        }
    }
}

TEST_F(HybridTest, OverlapAreasRotateOnEveryCallPerChannel) {
    const GranuleInfo granule = granuleOf(0, 0, 32);
    std::vector<double> first = randomValues(21, 576);
    const std::vector<double> second = randomValues(22, 576);
    double output[18][32];

    EXPECT_EQ(state_->hybridBlockIndex[1], 0);
    std::vector<double> work = first;
    hybridFilterbank(work.data(), output, 1, &granule);
    EXPECT_EQ(state_->hybridBlockIndex[1], 1);
    EXPECT_EQ(state_->hybridBlockIndex[0], 0);  // the other channel is untouched

    // First granule after initialisation: the output is the first half alone.
    const std::vector<double> silence(576, 0.0);
    checkAgainstReference(reference(first, silence, granule), output, state_->hybridBlock[1][1], "first granule");
    const std::vector<double> carried(state_->hybridBlock[1][1], state_->hybridBlock[1][1] + 576);

    work = second;
    hybridFilterbank(work.data(), output, 1, &granule);
    EXPECT_EQ(state_->hybridBlockIndex[1], 0);
    checkAgainstReference(reference(second, carried, granule), output, state_->hybridBlock[0][1], "second granule");
}

// Only the subbands that may hold an overlap are copied and cleared: a run of
// wider and narrower granules still carries every overlap through both areas.
TEST_F(HybridTest, NarrowingAndWideningGranulesCarryEveryOverlap) {
    std::vector<double> previous(576, 0.0);
    unsigned seed = 40;
    for (int active : {32, 5, 5, 20, 3, 1, 32, 8}) {
        const GranuleInfo granule = granuleOf(active % 3 == 2 ? 2 : 0, 0, active);
        std::vector<double> spectrum = randomValues(++seed, 576);
        for (int line = 18 * ((active + 1) / 2 * 2); line < 576; ++line) spectrum[line] = 0.0;
        const Expected e = reference(spectrum, previous, granule);
        double output[18][32];
        hybridFilterbank(spectrum.data(), output, 0, &granule);
        const double* next = state_->hybridBlock[state_->hybridBlockIndex[0]][0];  // the area just written
        checkAgainstReference(e, output, next, ("active " + std::to_string(active)).c_str());
        previous.assign(next, next + 576);
    }
}

}  // namespace
}  // namespace sorvil
