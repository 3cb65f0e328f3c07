#include "decoder/layer2/layer2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"
#include "support/bit_string.h"

namespace sorvil {
namespace {

constexpr unsigned kMpeg1 = 3, kMpeg2 = 2, kMpeg25 = 0;
constexpr unsigned kStereo = 0, kJoint = 1, kDual = 2, kMono = 3;

uint32_t layer2Header(unsigned version, unsigned rateBits, unsigned bitrateIndex, unsigned mode,
                      unsigned modeExtension = 0) {
    return 0xFFE00000u | (version << 19) | (2u << 17) | (1u << 16) | (bitrateIndex << 12) | (rateBits << 10) |
           (mode << 6) | (modeExtension << 4);
}

class Layer2Test : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = std::make_unique<DecoderState>();
        decoderInit(state_.get());  // builds the shared tables once
        currentDecoder = state_.get();
    }
    void TearDown() override { decoderExit(state_.get()); }

    FrameInfo frameFor(uint32_t header) {
        FrameInfo frame{};
        EXPECT_EQ(decodeHeader(&frame, header), 1);
        return frame;
    }

    // Reads the allocation and scale factors of `body` into the fixture.
    void readAllocation(std::vector<uint8_t>& body, FrameInfo& frame) {
        readPointer = body.data();
        bitIndex = 0;
        layer2ReadAllocation(allocation, scaleIndexes, &frame);
    }
    uint8_t allocation[32][2];
    uint8_t scaleIndexes[32][2][3];

    int tableFor(uint32_t header) {
        FrameInfo frame = frameFor(header);
        selectLayer2Table(&frame);
        for (int t = 0; t < 5; ++t)
            if (frame.allocTable == layer2AllocTables[t]) {
                EXPECT_EQ(frame.subbandLimit, layer2SubbandLimits[t]);
                return t;
            }
        return -1;
    }

    // Decodes one frame made of the header and the given body (zero-filled to
    // the frame size); returns the PCM byte count, or -1 on failure.
    int decodeOne(uint32_t header, const std::vector<uint8_t>& body = {}) {
        FrameInfo frame = frameFor(header);
        std::vector<uint8_t> bytes = {uint8_t(header >> 24), uint8_t(header >> 16), uint8_t(header >> 8),
                                      uint8_t(header)};
        std::vector<uint8_t> rest(frame.frameSize, 0);
        std::copy(body.begin(), body.end(), rest.begin());
        bytes.insert(bytes.end(), rest.begin(), rest.end());
        output_.assign(4608, 0x5A);
        int outBytes = 0;
        int result = decodeFrame(state_.get(), bytes.data(), static_cast<int>(bytes.size()), output_.data(),
                                 static_cast<int>(output_.size()), &outBytes);
        return result == DEC_OK ? outBytes : -1;
    }

    std::unique_ptr<DecoderState> state_;
    std::vector<uint8_t> output_;
};

using test::BitString;

double scaleFactor(int index) { return std::pow(2.0, 1.0 - index / 3.0); }

// The tables use 2^((3 - i) t) with t the double nearest 1/3, which may differ
// from 2^(1 - i/3) in the last bits.
#define EXPECT_CLOSE(a, b) EXPECT_NEAR((a), (b), std::fabs(b) * 1e-13)

TEST_F(Layer2Test, ChoosesTheAllocationTableByRateAndBitratePerChannel) {
    EXPECT_EQ(tableFor(layer2Header(kMpeg1, 0, 4, kMono)), 0);     // 44.1 kHz, 64 kbit/s mono
    EXPECT_EQ(tableFor(layer2Header(kMpeg1, 0, 8, kStereo)), 0);   // 128 kbit/s stereo, 64 per channel
    EXPECT_EQ(tableFor(layer2Header(kMpeg1, 0, 10, kStereo)), 1);  // 192: 96 per channel
    EXPECT_EQ(tableFor(layer2Header(kMpeg1, 0, 6, kJoint)), 2);    // 96: 48 per channel
    EXPECT_EQ(tableFor(layer2Header(kMpeg1, 2, 6, kStereo)), 3);   // 32 kHz, 96 stereo
    EXPECT_EQ(tableFor(layer2Header(kMpeg1, 2, 10, kDual)), 1);    // 32 kHz, 192 dual
    EXPECT_EQ(tableFor(layer2Header(kMpeg1, 1, 14, kStereo)), 0);  // 48 kHz never uses table 1
    EXPECT_EQ(tableFor(layer2Header(kMpeg1, 1, 14, kMono)), 0);
    EXPECT_EQ(tableFor(layer2Header(kMpeg1, 0, 14, kMono)), 1);    // 384 mono at 44.1 kHz
    EXPECT_EQ(tableFor(layer2Header(kMpeg1, 1, 2, kMono)), 2);     // 48 kbit/s mono at 48 kHz
    EXPECT_EQ(tableFor(layer2Header(kMpeg1, 2, 2, kMono)), 3);     // and at 32 kHz
    for (unsigned index = 1; index <= 14; ++index) {
        for (unsigned rate = 0; rate < 3; ++rate) {
            EXPECT_EQ(tableFor(layer2Header(kMpeg2, rate, index, kStereo)), 4);
            EXPECT_EQ(tableFor(layer2Header(kMpeg25, rate, index, kMono)), 4);
        }
    }
}

TEST_F(Layer2Test, EveryMpeg1BitrateFollowsThePerChannelRule) {
    const int lowTable[3] = {2, 2, 3}, highTable[3] = {1, 0, 1};
    for (unsigned rate = 0; rate < 3; ++rate)
        for (unsigned mode : {kStereo, kMono})
            for (unsigned index = 1; index <= 14; ++index) {
                int perChannel = bitrates[0][1][index] / (mode == kMono ? 1 : 2);
                int expected = perChannel <= 48 ? lowTable[rate] : perChannel <= 80 ? 0 : highTable[rate];
                EXPECT_EQ(tableFor(layer2Header(kMpeg1, rate, index, mode)), expected)
                    << "rate " << rate << " mode " << mode << " index " << index;
            }
}

TEST_F(Layer2Test, StereoFramesGive4608BytesAndMonoFrames2304) {
    EXPECT_EQ(decodeOne(layer2Header(kMpeg1, 0, 10, kStereo)), 4608);
    EXPECT_EQ(decodeOne(layer2Header(kMpeg1, 2, 10, kDual)), 4608);
    EXPECT_EQ(decodeOne(layer2Header(kMpeg1, 1, 4, kMono)), 2304);
    EXPECT_EQ(decodeOne(layer2Header(kMpeg2, 1, 8, kJoint, 1)), 4608);
    EXPECT_EQ(decodeOne(layer2Header(kMpeg25, 2, 1, kMono)), 2304);
    // A silent frame decodes to silence.
    for (uint8_t b : std::vector<uint8_t>(output_.begin(), output_.begin() + 2304)) ASSERT_EQ(b, 0);
}

TEST_F(Layer2Test, JointStereoBoundFollowsTheModeExtensionWithinTheSubbandLimit) {
    for (unsigned extension = 0; extension < 4; ++extension) {
        ASSERT_EQ(decodeOne(layer2Header(kMpeg1, 1, 8, kJoint, extension)), 4608);
        EXPECT_EQ(state_->frame.jointStereoBound, 4 * int(extension + 1));
    }
    // Table 2 has 8 subbands: bound 16 becomes 8, so no subband is shared.
    ASSERT_EQ(decodeOne(layer2Header(kMpeg1, 0, 6, kJoint, 3)), 4608);
    EXPECT_EQ(state_->frame.subbandLimit, 8);
    EXPECT_EQ(state_->frame.jointStereoBound, 8);
    ASSERT_EQ(decodeOne(layer2Header(kMpeg1, 0, 10, kStereo, 2)), 4608);
    EXPECT_EQ(state_->frame.jointStereoBound, 30);
}

TEST_F(Layer2Test, GroupTablesSplitCodesAndZeroThePastTheLastValidCode) {
    // 3 levels: code 5 = 2 + 1*3 + 0*9 -> levels (2, 1, 0) -> rows (2, 0, 1).
    EXPECT_EQ(groupTable3[5][0], 2);
    EXPECT_EQ(groupTable3[5][1], 0);
    EXPECT_EQ(groupTable3[5][2], 1);
    EXPECT_EQ(groupTable3[26][0], 2);
    EXPECT_EQ(groupTable3[26][2], 2);
    // 9 levels: code 728 = 8 + 8*9 + 8*81 -> rows 26 (8/9).
    EXPECT_EQ(groupTable9[728][0], 26);
    EXPECT_EQ(groupTable9[728][2], 26);
    EXPECT_EQ(groupTable5[124][1], 20);
    for (int code = 27; code < 32; ++code)
        for (int n = 0; n < 3; ++n) EXPECT_EQ(groupTable3[code][n], 0);
    for (int code = 125; code < 128; ++code)
        for (int n = 0; n < 3; ++n) EXPECT_EQ(groupTable5[code][n], 0);
    for (int code = 729; code < 1024; ++code)
        for (int n = 0; n < 3; ++n) ASSERT_EQ(groupTable9[code][n], 0);
}

TEST_F(Layer2Test, ScaleMultiplesAreLevelTimesScaleFactorAndIndex63IsZero) {
    EXPECT_CLOSE(scaleMultiples[2][0], 2.0 / 3.0 * 2.0);
    EXPECT_CLOSE(scaleMultiples[1][3], -2.0 / 3.0);
    EXPECT_CLOSE(scaleMultiples[16][10], 2.0 / 65535 * scaleFactor(10));
    EXPECT_CLOSE(scaleMultiples[17][62], -0.8 * scaleFactor(62));
    EXPECT_CLOSE(scaleMultiples[26][30], 8.0 / 9.0 * scaleFactor(30));
    for (int r = 0; r < 27; ++r) EXPECT_EQ(scaleMultiples[r][63], 0.0);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(scaleMultiples[0][i], 0.0);
}

// A joint-stereo frame of table 0 with bound 4, read field by field: subband
// 0 carries a grouped 3-level quantiser for channel 0 alone; subband 4 is
// shared: one allocation, one set of codes, two channels' scale factors.
TEST_F(Layer2Test, SharedSubbandsReadOneAllocationAndCodesButTwoScaleFactors) {
    FrameInfo frame = frameFor(layer2Header(kMpeg1, 1, 8, kJoint, 0));
    selectLayer2Table(&frame);
    frame.jointStereoBound = 4;
    ASSERT_EQ(frame.subbandLimit, 27);
    const Layer2AllocEntry* table = frame.allocTable;

    BitString bits;
    const Layer2AllocEntry* subband = table;
    const Layer2AllocEntry* subband4 = nullptr;
    for (int sb = 0; sb < 27; ++sb) {
        int nbal = subband[0].bits;
        if (sb == 4) subband4 = subband;
        if (sb < 4) {
            bits.put(sb == 0 ? 1 : 0, nbal);  // channel 0
            bits.put(0, nbal);                // channel 1
        } else {
            bits.put(sb == 4 ? 5 : 0, nbal);
        }
        subband += 1 << nbal;
    }
    ASSERT_EQ(table[1].d, 3);      // subband 0, value 1: 3 levels, 5-bit groups
    ASSERT_EQ(subband4[5].d, -7);  // subband 4, value 5: 15 levels, 4 bits
    bits.put(2, 2);  // selection of (0, 0): one index for all parts
    bits.put(0, 2);  // (4, 0): three indexes
    bits.put(1, 2);  // (4, 1): a, a, b
    bits.put(10, 6);
    bits.put(5, 6), bits.put(6, 6), bits.put(63, 6);
    bits.put(20, 6), bits.put(21, 6);
    // Granule 0: subband 0 code 5 (levels 2, 1, 0); subband 4 codes 0, 7, 14.
    bits.put(5, 5);
    bits.put(0, 4), bits.put(7, 4), bits.put(14, 4);
    // Granule 1: subband 0 code 31 (past the last valid code); subband 4 codes 15, 1, 8.
    bits.put(31, 5);
    bits.put(15, 4), bits.put(1, 4), bits.put(8, 4);
    std::vector<uint8_t> body = bits.padded(8);
    readAllocation(body, frame);
    EXPECT_EQ(allocation[0][0], 1);
    EXPECT_EQ(allocation[0][1], 0);
    EXPECT_EQ(allocation[4][0], 5);
    EXPECT_EQ(allocation[4][1], 5);
    EXPECT_EQ(scaleIndexes[0][0][0], 10);
    EXPECT_EQ(scaleIndexes[0][0][2], 10);
    EXPECT_EQ(scaleIndexes[4][0][1], 6);
    EXPECT_EQ(scaleIndexes[4][1][0], 20);
    EXPECT_EQ(scaleIndexes[4][1][1], 20);
    EXPECT_EQ(scaleIndexes[4][1][2], 21);

    double samples[2][3][32];
    std::memset(samples, 0x7F, sizeof samples);
    layer2ReadSamples(allocation, samples, scaleIndexes, &frame, 0);
    EXPECT_CLOSE(samples[0][0][0], 2.0 / 3.0 * scaleFactor(10));
    EXPECT_CLOSE(samples[0][1][0], 0.0);
    EXPECT_CLOSE(samples[0][2][0], -2.0 / 3.0 * scaleFactor(10));
    for (int n = 0; n < 3; ++n) EXPECT_EQ(samples[1][n][0], 0.0);
    const int levels[3] = {-7, 0, 7};
    for (int n = 0; n < 3; ++n) {
        EXPECT_CLOSE(samples[0][n][4], levels[n] * 2.0 / 15 * scaleFactor(5));
        EXPECT_CLOSE(samples[1][n][4], levels[n] * 2.0 / 15 * scaleFactor(20));
    }
    for (int sb = 5; sb < 32; ++sb) EXPECT_EQ(samples[0][1][sb], 0.0);

    // Third part: scale factor index 63 for channel 0 gives zeros, channel 1
    // takes its index 21; code 31 of the 3-level group gives zeros.
    layer2ReadSamples(allocation, samples, scaleIndexes, &frame, 2);
    const int levels2[3] = {8, -6, 1};
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(samples[0][n][0], 0.0);
        EXPECT_EQ(samples[0][n][4], 0.0);
        EXPECT_CLOSE(samples[1][n][4], levels2[n] * 2.0 / 15 * scaleFactor(21));
    }
}

// Selection value 3 reads (a, b, b); a 9-level group spreads one 10-bit code
// over three samples; an ungrouped 16-bit quantiser reads 16 bits per sample.
TEST_F(Layer2Test, MonoSelectionThreeNineLevelGroupsAndSixteenBitSamples) {
    FrameInfo frame = frameFor(layer2Header(kMpeg1, 1, 2, kMono));  // table 2: 8 subbands
    selectLayer2Table(&frame);
    frame.jointStereoBound = frame.subbandLimit;
    const Layer2AllocEntry* table = frame.allocTable;
    ASSERT_EQ(frame.subbandLimit, 8);
    ASSERT_EQ(table[0].bits, 4);
    ASSERT_EQ(table[3].d, 9);    // subband 0, value 3: 9 levels in 10 bits
    ASSERT_EQ(table[15].bits, 15);
    const Layer2AllocEntry* subband1 = table + 16;
    ASSERT_EQ(subband1[15].bits, 15);

    BitString bits;
    bits.put(3, 4);   // subband 0: 9 levels
    bits.put(15, 4);  // subband 1: 15 bits
    for (int sb = 2; sb < 8; ++sb) bits.put(0, 3);
    bits.put(3, 2), bits.put(0, 2);
    bits.put(12, 6), bits.put(13, 6);                    // a, b, b
    bits.put(0, 6), bits.put(62, 6), bits.put(63, 6);    // three indexes
    bits.put(0 + 4 * 9 + 8 * 81, 10);                    // levels 0, 4, 8
    bits.put(0, 15), bits.put(16383, 15), bits.put(32766, 15);
    std::vector<uint8_t> body = bits.padded(8);
    readAllocation(body, frame);
    EXPECT_EQ(scaleIndexes[0][0][0], 12);
    EXPECT_EQ(scaleIndexes[0][0][1], 13);
    EXPECT_EQ(scaleIndexes[0][0][2], 13);
    double samples[2][3][32];
    layer2ReadSamples(allocation, samples, scaleIndexes, &frame, 1);
    EXPECT_CLOSE(samples[0][0][0], -8.0 / 9 * scaleFactor(13));
    EXPECT_EQ(samples[0][1][0], 0.0);
    EXPECT_CLOSE(samples[0][2][0], 8.0 / 9 * scaleFactor(13));
    const int levels[3] = {-16383, 0, 16383};
    for (int n = 0; n < 3; ++n) EXPECT_CLOSE(samples[0][n][1], levels[n] * 2.0 / 32767 * scaleFactor(62));
}

// A damaged frame whose allocation asks for more sample data than its
// reservoir area holds is refused instead of being read from beyond it.
TEST_F(Layer2Test, AllocationDemandingMoreThanTheAreaIsRefused) {
    // 44.1 kHz stereo at 192 kbit/s (table 1, a 622-byte body) with every
    // subband of both channels at its widest quantiser: over 4000 bytes of
    // sample data.
    const uint32_t header = layer2Header(kMpeg1, 0, 10, kStereo);
    FrameInfo frame = frameFor(header);
    selectLayer2Table(&frame);
    ASSERT_EQ(frame.subbandLimit, 30);
    BitString bits;
    const Layer2AllocEntry* subband = frame.allocTable;
    for (int sb = 0; sb < frame.subbandLimit; ++sb) {
        int nbal = subband[0].bits;
        bits.put((1u << nbal) - 1, nbal);
        bits.put((1u << nbal) - 1, nbal);
        subband += 1 << nbal;
    }
    EXPECT_EQ(decodeOne(header, bits.padded(8)), -1);
    // A modest allocation in the same frame decodes.
    EXPECT_EQ(decodeOne(header, {0x11}), 4608);
}

}  // namespace
}  // namespace sorvil
