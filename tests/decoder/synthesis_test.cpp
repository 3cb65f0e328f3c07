#include "decoder/synthesis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "decoder/decoder_state.h"

namespace sorvil {
namespace {

std::vector<double> readStandardWindow() {
    std::ifstream in(std::string(SORVIL_TEST_DATA) + "/../../tools/generators/data/synthesis_window.txt");
    std::vector<double> d;
    double value;
    while (in >> value) d.push_back(value);
    return d;
}

// The polyphase synthesis of ISO/IEC 11172-3 evaluated as the standard writes
// it: matrixing into a 1024-value shift register V, the 512-value vector U,
// windowing with D and summation, scaled to 16-bit full scale.
class DirectSynthesis {
public:
    explicit DirectSynthesis(const std::vector<double>& window) : d_(window) {}

    void slot(const double subbands[32], double out[32]) {
        std::memmove(v_ + 64, v_, 960 * sizeof(double));
        for (int i = 0; i < 64; ++i) {
            long double sum = 0;
            for (int k = 0; k < 32; ++k)
                sum += std::cos((16 + i) * (2 * k + 1) * std::numbers::pi_v<long double> / 64) * static_cast<long double>(subbands[k]);
            v_[i] = static_cast<double>(sum);
        }
        long double u[512];
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 32; ++j) {
                u[i * 64 + j] = v_[i * 128 + j];
                u[i * 64 + 32 + j] = v_[i * 128 + 96 + j];
            }
        for (int j = 0; j < 32; ++j) {
            long double sum = 0;
            for (int i = 0; i < 16; ++i) sum += u[j + 32 * i] * d_[j + 32 * i];
            out[j] = static_cast<double>(sum * 32767);
        }
    }

private:
    std::vector<double> d_;
    double v_[1024] = {};
};

class SynthesisTest : public ::testing::Test {
protected:
    void SetUp() override {
        makeSynthesisTables(32767);
        state_ = std::make_unique<DecoderState>();
        std::memset(state_.get(), 0, sizeof(DecoderState));
        state_->synthOffset = 1;  // as after decoderInit
        currentDecoder = state_.get();
        window_ = readStandardWindow();
        ASSERT_EQ(window_.size(), 512u);
    }

    std::unique_ptr<DecoderState> state_;
    std::vector<double> window_;
};

int16_t sampleAt(const uint8_t* bytes, int offset) {
    return static_cast<int16_t>(static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8)));
}

// Our integer sample must be the direct value truncated toward zero (and
// clipped); only values within rounding noise of an integer may go either way.
void expectMatchesDirect(int16_t ours, double direct, int slot, int j) {
    double clipped = std::fmax(-32768.0, std::fmin(32767.0, direct));
    double expected = std::trunc(clipped);
    if (std::fabs(clipped - std::round(clipped)) < 1e-6) {
        EXPECT_NEAR(ours, clipped, 1.0) << "slot " << slot << " sample " << j;
    } else {
        EXPECT_EQ(ours, expected) << "slot " << slot << " sample " << j << " direct " << direct;
    }
}

TEST(SynthesisTables, WindowKeepsTheStandardsValues) {
    EXPECT_EQ(windowBase[0], 0);
    EXPECT_EQ(windowBase[1], -1);
    EXPECT_EQ(windowBase[255], 74992);
    EXPECT_EQ(windowBase[256], 75038);
    std::vector<double> d = readStandardWindow();
    for (int j = 0; j <= 256; ++j)
        EXPECT_EQ(windowBase[j], std::lround(d[j] * 65536) * ((j / 64) % 2 ? -1 : 1)) << j;
}

TEST_F(SynthesisTest, StereoMatchesDirectEvaluationOverManySlots) {
    DirectSynthesis direct[2] = {DirectSynthesis(window_), DirectSynthesis(window_)};
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-0.5, 0.5);
    std::vector<uint8_t> out(128);
    int loud = 0, clipping = 0;
    for (int slot = 0; slot < 200; ++slot) {
        double subbands[2][32];
        for (auto& channel : subbands)
            for (double& s : channel) s = value(random) * (slot % 7 == 3 ? 4.0 : 1.0);  // some slots clip
        int offset = 0;
        int copy = offset;
        clipping += synthesize(subbands[0], 0, out.data(), &copy);
        clipping += synthesize(subbands[1], 1, out.data(), &offset);
        ASSERT_EQ(offset, 128);
        for (int j = 0; j < 64; ++j) loud += std::abs(sampleAt(out.data(), 2 * j)) > 4000;
        for (int ch = 0; ch < 2; ++ch) {
            double expected[32];
            direct[ch].slot(subbands[ch], expected);
            for (int j = 0; j < 32; ++j) expectMatchesDirect(sampleAt(out.data(), 4 * j + 2 * ch), expected[j], slot, j);
        }
    }
    EXPECT_GT(loud, 200 * 64 / 4);  // the comparison is not vacuous
    EXPECT_GT(clipping, 50);
}

TEST_F(SynthesisTest, MonoMatchesDirectEvaluationAndPacksSamples) {
    DirectSynthesis direct(window_);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> value(-0.3, 0.3);
    std::vector<uint8_t> out(64 * 40 + 8, 0xAB);
    int offset = 0;
    std::vector<std::vector<double>> expected;
    for (int slot = 0; slot < 40; ++slot) {
        double subbands[32];
        for (double& s : subbands) s = value(random);
        synthesizeMono(subbands, out.data(), &offset);
        ASSERT_EQ(offset, 64 * (slot + 1));
        double e[32];
        direct.slot(subbands, e);
        for (int j = 0; j < 32; ++j) expectMatchesDirect(sampleAt(out.data(), 64 * slot + 2 * j), e[j], slot, j);
    }
    EXPECT_EQ(out[64 * 40], 0xAB);  // nothing written past the packed samples
}

// The windowing step written out literally from the ring as the call leaves
// it: the half read and the phase follow from the ring position, and every
// sum is added up in order of t. A half holds its 16 columns one after the
// other, 17 rows each. The filterbank must agree bit for bit.
void literalWindowing(const DecoderState& state, int channel, int16_t out[32], int* clips) {
    int o = state.synthOffset;
    const double* half = state.synthBuffers[channel][(o & 1) ? 0 : 1];
    int p = (o & 1) ? o : o + 1;
    auto wn = [](int r, int c) { return synthesisWindow[r][((c % 16) + 16) % 16]; };
    auto convert = [&](double sum) -> int16_t {
        if (sum > 32767.0) return ++*clips, 32767;
        if (sum < -32768.0) return ++*clips, -32768;
        return static_cast<int16_t>(sum);
    };
    for (int j = 0; j < 16; ++j) {
        double sum = 0;
        for (int t = 0; t < 16; ++t) sum += ((t % 2) ? -1.0 : 1.0) * wn(j, t - p) * half[t * 17 + j];
        out[j] = convert(sum);
    }
    double sum16 = 0;
    for (int t = 0; t < 16; t += 2) sum16 += wn(16, t - p) * half[t * 17 + 16];
    out[16] = convert(sum16);
    for (int q = 15; q >= 1; --q) {
        double sum = 0;
        for (int t = 0; t < 16; ++t) sum += wn(q, p - 1 - t) * half[t * 17 + q];
        out[32 - q] = convert(-sum);
    }
}

TEST_F(SynthesisTest, WindowingIsBitExactToTheLiteralSumsInOrder) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<uint8_t> out(128);
    for (int slot = 0; slot < 100; ++slot) {
        for (int ch = 0; ch < 2; ++ch) {
            double subbands[32];
            for (double& s : subbands) s = value(random) * (slot % 5 == 0 ? 3.0 : 0.6);
            int offset = 0;
            int clips = synthesize(subbands, ch, out.data(), &offset);
            int16_t expected[32];
            int expectedClips = 0;
            literalWindowing(*state_, ch, expected, &expectedClips);
            EXPECT_EQ(clips, expectedClips);
            for (int j = 0; j < 32; ++j) ASSERT_EQ(sampleAt(out.data(), 4 * j + 2 * ch), expected[j]) << slot << " " << j;
        }
    }
}

TEST_F(SynthesisTest, ZeroInputGivesZeroOutputWithoutClips) {
    double zeros[32] = {};
    std::vector<uint8_t> out(128, 0x55);
    int offset = 0;
    EXPECT_EQ(synthesize(zeros, 0, out.data(), &offset), 0);
    for (int j = 0; j < 32; ++j) EXPECT_EQ(sampleAt(out.data(), 4 * j), 0);
    EXPECT_EQ(out[2], 0x55);  // channel 1 positions untouched
}

TEST_F(SynthesisTest, RingStartsAtPositionZeroAndOnlyChannelZeroMovesIt) {
    double zeros[32] = {};
    std::vector<uint8_t> out(256);
    int offset = 0;
    int copy = offset;
    synthesize(zeros, 0, out.data(), &copy);
    EXPECT_EQ(state_->synthOffset, 0);
    synthesize(zeros, 1, out.data(), &offset);
    EXPECT_EQ(state_->synthOffset, 0);
    copy = offset;
    synthesize(zeros, 0, out.data(), &copy);
    EXPECT_EQ(state_->synthOffset, 15);
    synthesizeMono(zeros, out.data(), &offset);
    EXPECT_EQ(state_->synthOffset, 14);
}

TEST_F(SynthesisTest, ImpulseLastsSixteenSlotsOfItsChannelOnly) {
    double impulse[32] = {};
    for (int k = 0; k < 32; ++k) impulse[k] = (k % 3 == 0) ? 0.4 : -0.2;
    double zeros[32] = {};
    std::vector<uint8_t> out(128);
    int nonZeroSlots = 0;
    int lastNonZero = -1;
    for (int slot = 0; slot < 40; ++slot) {
        int offset = 0;
        int copy = offset;
        synthesize(slot == 0 ? impulse : zeros, 0, out.data(), &copy);
        synthesize(zeros, 1, out.data(), &offset);
        bool any0 = false;
        for (int j = 0; j < 32; ++j) {
            any0 |= sampleAt(out.data(), 4 * j) != 0;
            EXPECT_EQ(sampleAt(out.data(), 4 * j + 2), 0) << "channel 1 stays silent";
        }
        if (any0) {
            ++nonZeroSlots;
            lastNonZero = slot;
        }
    }
    EXPECT_LE(lastNonZero, 15);
    EXPECT_GE(nonZeroSlots, 14);
    for (double& v : state_->synthBuffers[1][0]) ASSERT_EQ(v, 0.0);
}

// The conversion to 16 bits, isolated: a value placed in ring column 2 of row
// 0 of the half read at phase 1 reaches sample 0 of the next channel 0 call
// as the single product Wn[0][1] * value (the column 1 the call rewrites is
// zero for zero input). The value is chosen so that the product is exactly
// the wanted sum.
class ConversionTest : public SynthesisTest {
protected:
    int16_t convert(double target, int* clipped) {
        std::memset(state_->synthBuffers, 0, sizeof state_->synthBuffers);
        state_->synthOffset = 1;  // next channel 0 call: o = 0, reads half 1 with p = 1
        double w = synthesisWindow[0][1];
        double h = target / w;
        for (int tries = 0; tries < 8 && h * w != target; ++tries)
            h = std::nextafter(h, (h * w < target) == (w > 0) ? INFINITY : -INFINITY);
        EXPECT_EQ(h * w, target) << "no exact factor found";
        state_->synthBuffers[0][1][2 * 17] = h;  // column 2, row 0
        double zeros[32] = {};
        std::vector<uint8_t> out(128);
        int offset = 0;
        *clipped = synthesize(zeros, 0, out.data(), &offset);
        return sampleAt(out.data(), 0);
    }
};

TEST_F(ConversionTest, ClipsBeyondTheRangeAndTruncatesTowardZero) {
    struct Case {
        double sum;
        int16_t sample;
        int clips;
    } cases[] = {{32767.0, 32767, 0}, {32767.5, 32767, 1}, {-32768.0, -32768, 0},
                 {-32768.5, -32768, 1}, {-0.9, 0, 0},      {0.9, 0, 0},
                 {-1.5, -1, 0},         {1234.75, 1234, 0}, {1e9, 32767, 1}};
    for (const Case& c : cases) {
        int clipped = -1;
        EXPECT_EQ(convert(c.sum, &clipped), c.sample) << c.sum;
        EXPECT_EQ(clipped, c.clips) << c.sum;
    }
}

}  // namespace
}  // namespace sorvil
