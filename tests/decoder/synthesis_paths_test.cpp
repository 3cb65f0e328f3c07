// The processor-specific synthesis kernels against the plain ones: the same
// ring columns and the same samples, to the bit, on random data, on sums that
// clip, and through whole decodes of layer II and layer III streams.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "decoder/decoder_state.h"
#include "decoder/synthesis.h"
#include "decoder/vector/synthesis_paths.h"
#include "pcm_compare.h"
#include "pcm_decode.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

// Restores the path that was active when it was made.
class PathGuard {
public:
    PathGuard() : saved_(synthesisCurrentPath()) {}
    ~PathGuard() { synthesisUsePath(saved_); }

private:
    SynthesisPath saved_;
};

class SynthesisPathsTest : public ::testing::Test {
protected:
    void SetUp() override {
        DecoderState scratch;
        decoderInit(&scratch);  // builds the tables and picks the default path
        decoderExit(&scratch);
        plain_ = synthesisKernels(SynthesisPath::Plain);
        avx_ = synthesisKernels(SynthesisPath::Avx);
        if (!avx_.dct64) GTEST_SKIP() << "this processor or build has no AVX path";
    }

    SynthesisKernels plain_{};
    SynthesisKernels avx_{};
};

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST_F(SynthesisPathsTest, MatrixingWritesTheSameColumns) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-40000.0, 40000.0);
    for (int round = 0; round < 200; ++round) {
        double subbands[32];
        for (double& s : subbands) s = round % 3 == 0 ? value(random) * 1e-6 : value(random);
        if (round == 1) subbands[5] = -0.0;
        double plainRing[2][17 * 16] = {};
        double avxRing[2][17 * 16] = {};
        plain_.dct64(subbands, plainRing[0] + 3 * 17, plainRing[1] + 4 * 17);
        avx_.dct64(subbands, avxRing[0] + 3 * 17, avxRing[1] + 4 * 17);
        for (int half = 0; half < 2; ++half)
            for (int i = 0; i < 17 * 16; ++i)
                ASSERT_TRUE(sameBits(plainRing[half][i], avxRing[half][i])) << "round " << round << " value " << i;
    }
}

// Ring halves whose sums land everywhere: small, near full scale, clipping
// both ways, and values that sit exactly on the clip limits after windowing.
TEST_F(SynthesisPathsTest, WindowingGivesTheSameSamplesAndClipCounts) {
    std::mt19937 random(11);
    for (int round = 0; round < 120; ++round) {
        const double scale = std::pow(10.0, round % 6 - 1);  // 0.1 .. 10000
        std::uniform_real_distribution<double> value(-scale, scale);
        double half[17 * 16];
        for (double& h : half) h = value(random);
        if (round % 7 == 0)
            for (int t = 0; t < 16; ++t) half[t * 17 + 16] = std::numeric_limits<double>::denorm_min();
        for (int phase = 0; phase < 8; ++phase) {
            for (SampleLayout layout : {SampleLayout::Mono, SampleLayout::Channel0, SampleLayout::Channel1}) {
                uint8_t plainOut[128];
                uint8_t avxOut[128];
                std::memset(plainOut, 0xA5, sizeof plainOut);
                std::memset(avxOut, 0xA5, sizeof avxOut);
                const int plainClips = plain_.window(half, phase, plainOut, layout);
                const int avxClips = avx_.window(half, phase, avxOut, layout);
                ASSERT_EQ(plainClips, avxClips) << "round " << round << " phase " << phase;
                ASSERT_EQ(std::memcmp(plainOut, avxOut, sizeof plainOut), 0)
                    << "round " << round << " phase " << phase << " layout " << int(layout);
            }
        }
    }
}

TEST_F(SynthesisPathsTest, BothPathsClipAndCountTheSame) {
    // One large value per row drives every sum far past full scale.
    double half[17 * 16] = {};
    for (int r = 0; r < 17; ++r) half[(r % 2) * 2 * 17 + r] = (r % 3 ? 1 : -1) * 1e9;
    uint8_t plainOut[64];
    uint8_t avxOut[64];
    const int plainClips = plain_.window(half, 0, plainOut, SampleLayout::Mono);
    const int avxClips = avx_.window(half, 0, avxOut, SampleLayout::Mono);
    EXPECT_GT(plainClips, 0);
    EXPECT_EQ(plainClips, avxClips);
    EXPECT_EQ(std::memcmp(plainOut, avxOut, sizeof plainOut), 0);
}

// The quick forms (both channels at once, or mono packed) against the exact
// per-channel windowing of the same path: the same frames and clip counts,
// over sums that stay inside the range, clip, sit near the limits, pass the
// 32-bit range, or are NaN or infinite.
TEST_F(SynthesisPathsTest, QuickFormsGiveTheExactSamplesAndClipCounts) {
    std::mt19937 random(23);
    for (const SynthesisKernels& kernels : {plain_, avx_}) {
        for (int round = 0; round < 300; ++round) {
            const double scale = std::pow(10.0, round % 7 - 2);  // 0.01 .. 10000
            std::uniform_real_distribution<double> value(-scale, scale);
            double halves[2][17 * 16];
            for (auto& half : halves)
                for (double& h : half) h = value(random);
            if (round % 11 == 3) halves[round % 2][37] = std::numeric_limits<double>::quiet_NaN();
            if (round % 13 == 5) halves[1][100] = -std::numeric_limits<double>::infinity();
            if (round % 17 == 7) halves[round % 2][200] = (round % 2 ? -1 : 1) * 1e15;  // past 32 bits
            for (int phase = 0; phase < 8; ++phase) {
                uint8_t exact[128];
                std::memset(exact, 0xA5, sizeof exact);
                const int leftClips = kernels.window(halves[0], phase, exact, SampleLayout::Channel0);
                const int rightClips = kernels.window(halves[1], phase, exact, SampleLayout::Channel1);
                uint8_t stereo[128];
                std::memset(stereo, 0x5A, sizeof stereo);
                ASSERT_EQ(kernels.windowStereo(halves[0], halves[1], phase, stereo), leftClips + rightClips)
                    << "round " << round << " phase " << phase;
                ASSERT_EQ(std::memcmp(stereo, exact, sizeof exact), 0) << "round " << round << " phase " << phase;
                uint8_t mono[64];
                ASSERT_EQ(kernels.window(halves[0], phase, mono, SampleLayout::Mono), leftClips);
                for (int j = 0; j < 32; ++j)
                    ASSERT_TRUE(mono[2 * j] == exact[4 * j] && mono[2 * j + 1] == exact[4 * j + 1])
                        << "round " << round << " phase " << phase << " sample " << j;
            }
        }
    }
}

DecodedPcm decodeWith(SynthesisPath path, const std::string& name) {
    PathGuard guard;
    EXPECT_TRUE(synthesisUsePath(path));
    const std::string bytes = test::readFile(test::testData(name));
    const std::vector<uint8_t> image(bytes.begin(), bytes.end());
    DecodedPcm pcm;
    EXPECT_TRUE(decodeFrameByFrame(image.data(), static_cast<int>(image.size()), &pcm)) << name;
    return pcm;
}

TEST_F(SynthesisPathsTest, WholeStreamsDecodeToTheSamePcm) {
    for (const char* name : {"iso/l3-compl.bit", "iso/l3-si_block.bit", "iso/l2-fl16.bit",
                             "encoded/l3_mpeg1_32000_mono_56k.mp3", "encoded/l3_mpeg25_8000_mono_8k.mp3",
                             "encoded/l2_mpeg1_48000_stereo_384k_crc.mp2"}) {
        const DecodedPcm plain = decodeWith(SynthesisPath::Plain, name);
        const DecodedPcm avx = decodeWith(SynthesisPath::Avx, name);
        ASSERT_FALSE(plain.bytes.empty()) << name;
        EXPECT_TRUE(plain.bytes == avx.bytes) << name;
    }
}

}  // namespace
}  // namespace sorvil
