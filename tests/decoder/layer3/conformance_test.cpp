// Layer III conformance: the compliance bitstreams against their reference
// decodes (ISO/IEC 11172-4 accuracy), and streams made by a real encoder
// against the encoder's input signal.
//
// The output conversion truncates toward zero and the synthesis scales by
// 32767, so against a rounded reference about half of all non-silent samples
// differ by one LSB: RMS 0.6-0.8 LSB with a maximum of 1-2 LSB is what a
// correct decode gives here, far inside the limited-accuracy bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "pcm_compare.h"
#include "pcm_decode.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

bool decodeFile(const std::string& relative, DecodedPcm* pcm) {
    const std::vector<uint8_t> image = test::testDataBytes(relative);
    return decodeFrameByFrame(image.data(), int(image.size()), pcm);
}

struct IsoStream {
    const char* name;
    int channels;             // 0: changes from frame to frame
    int samplesPerFrame;
    int framesPastReference;  // the reference leaves out the stream's last frame
    double maxRms;            // LSB, what this decoder measures, with a little room
    int maxDiff;              // LSB
};

// Measured RMS / max: l3-compl 0.758 / 1, l3-si 0.659 / 1, l3-si_block 0.695 / 1,
// l3-si_huff 0.676 / 2 (its clipped frames included), l3-hecommon 0.799 / 1,
// l3-he_mode 0.752 / 1, M2L3_compl24 0.746 / 1, M2L3_noise 0.771 / 1,
// l3-test45 0.740 / 2 (intensity stereo in most of its frames).
const IsoStream kIsoStreams[] = {
    {"l3-compl", 1, 1152, 0, 0.78, 1},     {"l3-si", 1, 1152, 1, 0.68, 1},
    {"l3-si_block", 1, 1152, 1, 0.72, 1},  {"l3-si_huff", 1, 1152, 1, 0.70, 2},
    {"l3-hecommon", 2, 1152, 1, 0.82, 1},  {"l3-he_mode", 0, 1152, 0, 0.77, 1},
    {"M2L3_compl24", 1, 576, 0, 0.77, 1}, {"M2L3_noise", 2, 576, 0, 0.79, 1},
    {"l3-test45", 2, 576, 0, 0.77, 2},
};

class IsoConformance : public ::testing::TestWithParam<IsoStream> {};

TEST_P(IsoConformance, EveryFrameWithinTheReferenceBounds) {
    const IsoStream& stream = GetParam();
    DecodedPcm pcm;
    ASSERT_TRUE(decodeFile(std::string("iso/") + stream.name + ".bit", &pcm));
    const std::vector<uint8_t> reference = test::testDataBytes(std::string("iso/") + stream.name + ".pcm");

    std::vector<int16_t> test;
    std::vector<int16_t> ref;
    CompareOptions options;
    if (stream.channels == 0) {
        // Single-channel frames become two equal channels, in both decodes.
        ASSERT_EQ(pcm.frameChannels.size(), pcm.frameBytes.size());
        test = expandToStereo(pcm);
        ref = expandToStereo(reference.data(), pcm.frameBytes, pcm.frameChannels);
        options.channels = 2;
    } else {
        EXPECT_EQ(pcm.channels, stream.channels);
        test = samplesFromBytes(pcm.bytes);
        ref = samplesFromBytes(reference);
        options.channels = stream.channels;
    }
    const PcmComparison c = comparePcm(test, ref, options);
    SCOPED_TRACE(describeComparison(c));
    EXPECT_EQ(c.offset, 0);
    EXPECT_EQ(c.overlap, c.refLength) << "every reference frame is covered";
    EXPECT_EQ(c.testLength - c.refLength, stream.framesPastReference * stream.samplesPerFrame);
    EXPECT_EQ(c.testLength % stream.samplesPerFrame, 0);
    EXPECT_LT(c.rms, kLimitedAccuracyRms);
    EXPECT_LE(c.rms, stream.maxRms);
    EXPECT_LE(c.maxDiff, stream.maxDiff);
    ::testing::Test::RecordProperty("rms", std::to_string(c.rms));
    ::testing::Test::RecordProperty("max", c.maxDiff);
}

INSTANTIATE_TEST_SUITE_P(Layer3, IsoConformance, ::testing::ValuesIn(kIsoStreams),
                         [](const ::testing::TestParamInfo<IsoStream>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (ch == '-') ch = '_';
                             return name;
                         });

// --- Streams made by a real encoder ----------------------------------------

struct EncodedStream {
    const char* file;
    const char* source;
    int channels;
    int samplesPerChannel;  // frames x samples per frame
    double otherDecoderRms; // LSB against the source: an independent decoder's
                            // figure (coding noise); a correct decode lands within 1 LSB
};

constexpr int kEncoderDelay = 1105;

// Measured here: 309.6, 515.6, 366.0, 262.0, 491.8, 414.6, 583.7, 391.9, 469.4, 375.6.
const EncodedStream kEncodedStreams[] = {
    {"l3_mpeg1_32000_mono_56k.mp3", "src_32000_1ch.s16le", 1, 49536, 309.3},
    {"l3_mpeg1_44100_joint_128k.mp3", "src_44100_2ch.s16le", 2, 67968, 515.4},
    {"l3_mpeg1_44100_joint_vbr.mp3", "src_44100_2ch.s16le", 2, 67968, 366.0},
    {"l3_mpeg1_48000_stereo_320k_crc.mp3", "src_48000_2ch.s16le", 2, 73728, 262.0},
    {"l3_mpeg25_11025_joint_32k.mp3", "src_11025_2ch.s16le", 2, 17856, 491.6},
    {"l3_mpeg25_12000_stereo_48k_crc.mp3", "src_12000_2ch.s16le", 2, 19584, 414.3},
    {"l3_mpeg25_8000_mono_8k.mp3", "src_8000_1ch.s16le", 1, 13248, 583.6},
    {"l3_mpeg2_16000_mono_24k.mp3", "src_16000_1ch.s16le", 1, 25344, 391.7},
    {"l3_mpeg2_22050_joint_64k.mp3", "src_22050_2ch.s16le", 2, 34560, 469.2},
    {"l3_mpeg2_24000_ms_96k_crc.mp3", "src_24000_2ch.s16le", 2, 37440, 375.4},
};

// RMS in LSB of test sample n + lag against source sample n, per channel;
// sourceChannel picks the source channel each decoded channel is held to.
std::vector<double> channelRmsAtLag(const std::vector<int16_t>& test, const std::vector<int16_t>& source,
                                    int channels, int lag, const int sourceChannel[2]) {
    const long long count = std::min<long long>(static_cast<long long>(source.size()) / channels,
                                                static_cast<long long>(test.size()) / channels - lag);
    std::vector<double> rms(channels);
    for (int ch = 0; ch < channels; ++ch) {
        double noise = 0;
        for (long long n = 0; n < count; ++n) {
            const double d = double(test[(n + lag) * channels + ch]) - source[n * channels + sourceChannel[ch]];
            noise += d * d;
        }
        rms[ch] = std::sqrt(noise / double(count));
    }
    return rms;
}

double signalRms(const std::vector<int16_t>& samples) {
    double sum = 0;
    for (int16_t v : samples) sum += double(v) * v;
    return std::sqrt(sum / double(samples.size()));
}

class EncodedStreams : public ::testing::TestWithParam<EncodedStream> {};

TEST_P(EncodedStreams, LengthChannelsAndSignalMatchTheEncoderInput) {
    const EncodedStream& stream = GetParam();
    DecodedPcm pcm;
    ASSERT_TRUE(decodeFile(std::string("encoded/") + stream.file, &pcm));
    const std::vector<int16_t> test = samplesFromBytes(pcm.bytes);
    const std::vector<int16_t> source =
        samplesFromBytes(test::testDataBytes(std::string("encoded/source_pcm/") + stream.source));

    EXPECT_EQ(pcm.channels, stream.channels);
    EXPECT_EQ(static_cast<long long>(test.size()), static_cast<long long>(stream.samplesPerChannel) * stream.channels);

    CompareOptions options;
    options.channels = stream.channels;
    const PcmComparison c = comparePcm(test, source, options);
    SCOPED_TRACE(describeComparison(c));
    EXPECT_EQ(c.offset, kEncoderDelay);
    EXPECT_EQ(c.overlap, c.refLength);
    EXPECT_LE(c.rms, stream.otherDecoderRms + 1.0);
    const double snrDb = 20 * std::log10(signalRms(source) / c.rms);
    EXPECT_GT(snrDb, 12.0);
    ::testing::Test::RecordProperty("snr_db", std::to_string(snrDb));

    if (stream.channels == 2) {
        const int straight[2] = {0, 1};
        const int swapped[2] = {1, 0};
        const std::vector<double> right = channelRmsAtLag(test, source, 2, kEncoderDelay, straight);
        const std::vector<double> wrong = channelRmsAtLag(test, source, 2, kEncoderDelay, swapped);
        for (int ch = 0; ch < 2; ++ch) EXPECT_GT(wrong[ch], 4 * right[ch]) << "channel " << ch << " order";
    }
}

// The decoder takes no free-format streams (bitrate index 0).
TEST(EncodedFreeFormat, IsRefused) {
    DecodedPcm pcm;
    EXPECT_FALSE(decodeFile("encoded/l3_mpeg1_44100_joint_free200k.mp3", &pcm));
}

INSTANTIATE_TEST_SUITE_P(Layer3, EncodedStreams, ::testing::ValuesIn(kEncodedStreams),
                         [](const ::testing::TestParamInfo<EncodedStream>& info) {
                             std::string name = info.param.file;
                             name = name.substr(0, name.find('.'));
                             return name;
                         });

}  // namespace
}  // namespace sorvil
