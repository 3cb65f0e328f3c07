// Layer II output against the ISO/IEC 11172-4 compliance references and
// against the input signal of streams made by a real encoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decoder/decoder_state.h"
#include "decoder/synthesis.h"
#include "pcm_compare.h"
#include "pcm_decode.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

DecodedPcm decodeFile(const std::string& relative) {
    std::vector<uint8_t> image = test::testDataBytes(relative);
    DecodedPcm pcm;
    EXPECT_TRUE(decodeFrameByFrame(image.data(), static_cast<int>(image.size()), &pcm)) << relative;
    return pcm;
}

struct ComplianceStream {
    const char* name;
    int channels;
    int frames;
    double rms;  // measured, LSB
    int max;     // measured, LSB
};

// The conversion to 16 bits is scale 32767 with truncation toward zero: about
// 0.71 LSB RMS from the truncation alone against a rounded reference, more
// where the signal nears full scale (fl14) because of the 32767 scale.
const ComplianceStream kComplianceStreams[] = {
    {"l2-fl10", 2, 49, 0.7788, 1}, {"l2-fl11", 2, 49, 0.7689, 1}, {"l2-fl12", 2, 49, 0.7658, 1},
    {"l2-fl13", 1, 49, 0.7491, 1}, {"l2-fl14", 2, 16, 1.1815, 2}, {"l2-fl15", 2, 16, 0.8136, 2},
    {"l2-fl16", 2, 63, 0.6760, 2},
};

PcmComparison compareWithReference(const ComplianceStream& s, const DecodedPcm& pcm) {
    std::vector<uint8_t> refBytes = test::testDataBytes(std::string("iso/") + s.name + ".pcm");
    CompareOptions options;
    options.channels = s.channels;
    // The references are padded past the last frame.
    options.refLength = static_cast<long long>(s.frames) * 1152;
    return comparePcm(samplesFromBytes(pcm.bytes), samplesFromBytes(refBytes), options);
}

TEST(Layer2Compliance, EveryStreamIsWithinLimitedAccuracyOverEveryFrame) {
    for (const ComplianceStream& s : kComplianceStreams) {
        SCOPED_TRACE(s.name);
        DecodedPcm pcm = decodeFile(std::string("iso/") + s.name + ".bit");
        ASSERT_EQ(pcm.bytes.size(), static_cast<size_t>(s.frames) * 1152 * 2 * s.channels);
        ASSERT_EQ(pcm.frameBytes.size(), static_cast<size_t>(s.frames));
        EXPECT_EQ(pcm.channels, s.channels);
        PcmComparison c = compareWithReference(s, pcm);
        EXPECT_EQ(c.offset, 0);
        EXPECT_EQ(c.overlap, static_cast<long long>(s.frames) * 1152);
        EXPECT_LT(c.rms, kLimitedAccuracyRms);
        EXPECT_LE(c.rms, s.rms + 0.005);
        EXPECT_LE(c.maxDiff, s.max);
    }
}

// Rebuilds the synthesis tables at another scale for one test, after the
// first decoderInit of the process has built them (it would overwrite them),
// and restores the tables of decoderInit afterwards.
struct SynthesisScale {
    explicit SynthesisScale(double scale) {
        auto state = std::make_unique<DecoderState>();
        decoderInit(state.get());
        makeSynthesisTables(scale);
    }
    ~SynthesisScale() { makeSynthesisTables(32767); }
};

// At the full 16-bit scale of 32768 the only difference left to a rounded
// reference is the truncation: never more than 1 LSB, never about 0.71 LSB
// RMS. This holds the dequantisation and filterbank to full accuracy.
TEST(Layer2Compliance, AtFullScaleOnlyTheTruncationDiffers) {
    SynthesisScale fullScale(32768);
    for (const ComplianceStream& s : kComplianceStreams) {
        SCOPED_TRACE(s.name);
        DecodedPcm pcm = decodeFile(std::string("iso/") + s.name + ".bit");
        PcmComparison c = compareWithReference(s, pcm);
        EXPECT_EQ(c.offset, 0);
        EXPECT_LE(c.maxDiff, 1);
        EXPECT_LT(c.rms, 0.72);
    }
}

// Feeds a stream to decodeFrame in pieces of random sizes; the PCM of the
// frames must be the same as with the even pieces of decodeFrameByFrame.
std::vector<uint8_t> decodeInRandomPieces(const std::vector<uint8_t>& stream, unsigned seed) {
    auto state = std::make_unique<DecoderState>();
    decoderInit(state.get());
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pieceSize(1, 2500);
    std::vector<uint8_t> pcm, output(4608);
    size_t fed = 0;
    const uint8_t* piece = nullptr;
    int size = 0;
    for (;;) {
        int bytes = 0;
        int result = decodeFrame(state.get(), piece, size, output.data(), static_cast<int>(output.size()), &bytes);
        piece = nullptr;
        size = 0;
        if (result == DEC_OK) {
            pcm.insert(pcm.end(), output.begin(), output.begin() + bytes);
        } else if (result == DEC_NEED_MORE && fed < stream.size()) {
            size = static_cast<int>(std::min<size_t>(pieceSize(random), stream.size() - fed));
            piece = stream.data() + fed;
            fed += size;
        } else {
            EXPECT_EQ(result, DEC_NEED_MORE);
            break;
        }
    }
    decoderExit(state.get());
    return pcm;
}

TEST(Layer2Compliance, UnevenPiecesDecodeToTheSamePcm) {
    for (const char* name : {"iso/l2-fl10.bit", "iso/l2-fl13.bit", "encoded/l2_mpeg2_22050_joint_64k_pad.mp2"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> stream = test::testDataBytes(name);
        DecodedPcm whole = decodeFile(name);
        EXPECT_EQ(decodeInRandomPieces(stream, 1), whole.bytes);
        EXPECT_EQ(decodeInRandomPieces(stream, 2), whole.bytes);
    }
}

struct EncodedStream {
    const char* file;
    const char* source;
    int channels;
    int frames;
    double rms;  // against the source at lag +481, LSB
};

// The encoder's input is the reference here: the difference is coding noise.
const EncodedStream kEncodedStreams[] = {
    {"l2_mpeg1_32000_dual_192k.mp2", "src_32000_2ch.s16le", 2, 42, 414.82},
    {"l2_mpeg1_32000_mono_48k.mp2", "src_32000_1ch.s16le", 1, 42, 485.80},
    {"l2_mpeg1_44100_joint_128k_pad.mp2", "src_44100_2ch.s16le", 2, 58, 616.78},
    {"l2_mpeg1_44100_stereo_256k_pad.mp2", "src_44100_2ch.s16le", 2, 58, 260.28},
    {"l2_mpeg1_48000_mono_48k.mp2", "src_48000_1ch.s16le", 1, 63, 645.32},
    {"l2_mpeg1_48000_stereo_384k_crc.mp2", "src_48000_2ch.s16le", 2, 63, 263.72},
    {"l2_mpeg2_16000_mono_8k.mp2", "src_16000_1ch.s16le", 1, 21, 1530.05},
    {"l2_mpeg2_22050_joint_64k_pad.mp2", "src_22050_2ch.s16le", 2, 29, 975.84},
    {"l2_mpeg2_24000_stereo_160k_crc.mp2", "src_24000_2ch.s16le", 2, 32, 218.08},
};

std::vector<int16_t> channelOf(const std::vector<int16_t>& interleaved, int channel) {
    std::vector<int16_t> out;
    for (size_t i = channel; i < interleaved.size(); i += 2) out.push_back(interleaved[i]);
    return out;
}

TEST(Layer2Encoded, LengthChannelsAndNoiseAgainstTheSource) {
    for (const EncodedStream& s : kEncodedStreams) {
        SCOPED_TRACE(s.file);
        DecodedPcm pcm = decodeFile(std::string("encoded/") + s.file);
        EXPECT_EQ(pcm.channels, s.channels);
        ASSERT_EQ(pcm.bytes.size(), static_cast<size_t>(s.frames) * 1152 * 2 * s.channels);
        std::vector<int16_t> test = samplesFromBytes(pcm.bytes);
        std::vector<int16_t> source = samplesFromBytes(test::testDataBytes(std::string("encoded/source_pcm/") + s.source));
        CompareOptions options;
        options.channels = s.channels;
        PcmComparison c = comparePcm(test, source, options);
        EXPECT_EQ(c.offset, 481);
        EXPECT_NEAR(c.rms, s.rms, 0.5);
        if (s.channels == 2) {
            // Each channel matches its own source channel far better than the other one.
            options.channels = 1;
            options.maxOffset = 600;
            for (int ch = 0; ch < 2; ++ch) {
                double own = comparePcm(channelOf(test, ch), channelOf(source, ch), options).rms;
                double other = comparePcm(channelOf(test, ch), channelOf(source, 1 - ch), options).rms;
                EXPECT_LT(own * 3, other) << "channel " << ch;
            }
        }
    }
}

TEST(Layer2FrameByFrame, ResynchronisesAfterADamagedFrame) {
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

TEST(Layer2FrameByFrame, NoStreamInDataWithoutFrames) {
    std::vector<uint8_t> noise(20000);
    std::mt19937 random(3);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random() & 0x7F);  // never a sync byte
    DecodedPcm pcm;
    EXPECT_FALSE(decodeFrameByFrame(noise.data(), static_cast<int>(noise.size()), &pcm));
    EXPECT_TRUE(pcm.bytes.empty());
}

}  // namespace
}  // namespace sorvil
