// Decoder output against references, for every stream in the test-stream
// list: the compliance bitstreams against their reference decodes
// (ISO/IEC 11172-4 accuracy, from the first sample, every frame), and streams
// made by real encoders against the encoders' input signal.
//
// The output conversion truncates toward zero and the synthesis scales by
// 32767, so against a rounded reference about half of all non-silent samples
// differ by one LSB: RMS 0.6-0.8 LSB with a maximum of 1-2 LSB is what a
// correct decode gives here (more near full scale, l2-fl14), far inside the
// limited-accuracy bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "decoder/decoder_state.h"
#include "decoder/synthesis.h"
#include "pcm_compare.h"
#include "pcm_decode.h"
#include "support/temp_dir.h"
#include "support/test_streams.h"

namespace sorvil {
namespace {

using test::TestStream;

DecodedPcm decodeFile(const std::string& relative) {
    const std::vector<uint8_t> image = test::testDataBytes(relative);
    DecodedPcm pcm;
    EXPECT_TRUE(decodeFrameByFrame(image.data(), int(image.size()), &pcm)) << relative;
    return pcm;
}

std::string nameOf(const ::testing::TestParamInfo<TestStream>& info) { return info.param.testName(); }

// --- Compliance streams ----------------------------------------------------

PcmComparison compareWithReference(const TestStream& stream, const DecodedPcm& pcm) {
    const std::string referencePath = stream.path.substr(0, stream.path.rfind('.')) + ".pcm";
    const std::vector<uint8_t> reference = test::testDataBytes(referencePath);
    CompareOptions options;
    if (stream.integer("channels") == 0) {
        // Single-channel frames become two equal channels, in both decodes.
        EXPECT_EQ(pcm.frameChannels.size(), pcm.frameBytes.size());
        options.channels = 2;
        return comparePcm(expandToStereo(pcm), expandToStereo(reference.data(), pcm.frameBytes, pcm.frameChannels),
                          options);
    }
    options.channels = stream.integer("channels");
    // References padded past their last frame are compared over their frames.
    if (stream.has("frames")) options.refLength = (long long)stream.integer("frames") * stream.integer("frame");
    return comparePcm(samplesFromBytes(pcm.bytes), samplesFromBytes(reference), options);
}

class Compliance : public ::testing::TestWithParam<TestStream> {};

TEST_P(Compliance, EveryFrameWithinTheReferenceBounds) {
    const TestStream& stream = GetParam();
    const DecodedPcm pcm = decodeFile(stream.path);
    if (stream.integer("channels") != 0) {
        EXPECT_EQ(pcm.channels, stream.integer("channels"));
    }
    const PcmComparison c = compareWithReference(stream, pcm);
    SCOPED_TRACE(describeComparison(c));
    const int samplesPerFrame = stream.integer("frame");
    EXPECT_EQ(c.offset, 0);
    EXPECT_EQ(c.overlap, c.refLength) << "every reference frame is covered";
    EXPECT_EQ(c.testLength - c.refLength, stream.integer("past") * samplesPerFrame);
    EXPECT_EQ(c.testLength % samplesPerFrame, 0);
    EXPECT_LT(c.rms, kLimitedAccuracyRms);
    EXPECT_LE(c.rms, stream.number("rms"));
    EXPECT_LE(c.maxDiff, stream.integer("max"));
    ::testing::Test::RecordProperty("rms", std::to_string(c.rms));
    ::testing::Test::RecordProperty("max", c.maxDiff);
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
TEST_P(Compliance, AtFullScaleOnlyTheTruncationDiffers) {
    const TestStream& stream = GetParam();
    SynthesisScale fullScale(32768);
    const PcmComparison c = compareWithReference(stream, decodeFile(stream.path));
    SCOPED_TRACE(describeComparison(c));
    EXPECT_EQ(c.offset, 0);
    EXPECT_LE(c.maxDiff, 1);
    EXPECT_LT(c.rms, 0.72);
}

INSTANTIATE_TEST_SUITE_P(Streams, Compliance, ::testing::ValuesIn(test::testStreams("ref", "iso")), nameOf);

// --- Streams made by a real encoder ----------------------------------------

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

class EncodedStreams : public ::testing::TestWithParam<TestStream> {};

TEST_P(EncodedStreams, LengthChannelsAndSignalMatchTheEncoderInput) {
    const TestStream& stream = GetParam();
    const int channels = stream.integer("channels");
    const int lag = stream.integer("lag");
    const DecodedPcm pcm = decodeFile(stream.path);
    const std::vector<int16_t> test = samplesFromBytes(pcm.bytes);
    const std::string folder = stream.path.substr(0, stream.path.rfind('/') + 1);
    const std::vector<int16_t> source =
        samplesFromBytes(test::testDataBytes(folder + "source_pcm/" + stream.text("source")));

    EXPECT_EQ(pcm.channels, channels);
    EXPECT_EQ(static_cast<long long>(test.size()), static_cast<long long>(stream.integer("samples")) * channels);

    CompareOptions options;
    options.channels = channels;
    const PcmComparison c = comparePcm(test, source, options);
    SCOPED_TRACE(describeComparison(c));
    EXPECT_EQ(c.offset, lag);
    // The coding noise, as an independent decoder measures it.
    EXPECT_NEAR(c.rms, stream.number("noise"), 0.5);
    ::testing::Test::RecordProperty("snr_db", std::to_string(20 * std::log10(signalRms(source) / c.rms)));

    if (channels == 2) {
        const int straight[2] = {0, 1};
        const int swapped[2] = {1, 0};
        const std::vector<double> right = channelRmsAtLag(test, source, 2, lag, straight);
        const std::vector<double> wrong = channelRmsAtLag(test, source, 2, lag, swapped);
        for (int ch = 0; ch < 2; ++ch) EXPECT_GT(wrong[ch], 3 * right[ch]) << "channel " << ch << " order";
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, EncodedStreams, ::testing::ValuesIn(test::testStreams("ref", "source")), nameOf);

// The decoder takes no free-format streams (bitrate index 0).
TEST(RefusedStreams, GiveNoPcm) {
    const std::vector<TestStream> refused = test::testStreams("refused");
    ASSERT_FALSE(refused.empty());
    for (const TestStream& stream : refused) {
        const std::vector<uint8_t> image = test::testDataBytes(stream.path);
        DecodedPcm pcm;
        EXPECT_FALSE(decodeFrameByFrame(image.data(), int(image.size()), &pcm)) << stream.path;
    }
}

}  // namespace
}  // namespace sorvil
