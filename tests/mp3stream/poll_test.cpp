// The stream decoding loop over real streams: buffers, the end of the data,
// looping, rewinding, damaged data and frames larger than the room left.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/playback_support.h"
#include "support/test_streams.h"

namespace sorvil::test {
namespace {

// One stream per layer, both with sound up to their last frame.
const char* const kLayer3Stream = "encoded/l3_mpeg1_44100_joint_128k.mp3";
const char* const kLayer2Stream = "encoded/l2_mpeg1_44100_joint_128k_pad.mp2";

int nonEmptyFrames(const std::vector<Bytes>& frames) {
    return int(std::count_if(frames.begin(), frames.end(), [](const Bytes& f) { return !f.empty(); }));
}

class PollScenario : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        image = loadImage(GetParam());
        auto probe = startPlayback(image, 1, false);
        ASSERT_NE(probe, nullptr);
        reference = referenceFrames(probe->stream);
        frameCount = nonEmptyFrames(reference);
        ASSERT_GT(frameCount, 10);
        ASSERT_EQ(frameCount, int(reference.size())) << "every frame of these streams yields PCM";
        for (const Bytes& frame : reference) ASSERT_EQ(int(frame.size()), probe->stream->outBytesPerFrame);
    }

    Bytes image;
    std::vector<Bytes> reference;
    int frameCount = 0;
};

void expectBuffersEqual(const std::vector<Bytes>& delivered, const std::vector<Bytes>& expected, size_t count) {
    ASSERT_GE(delivered.size(), count);
    ASSERT_GE(expected.size(), count);
    for (size_t i = 0; i < count; ++i) EXPECT_TRUE(toSigned(delivered[i]) == expected[i]) << "buffer " << i;
}

TEST_P(PollScenario, EndOfDataWithoutLoopingDeliversTwoSilentBuffersThenFinishes) {
    for (bool endAtBufferBoundary : {false, true}) {
        SCOPED_TRACE(endAtBufferBoundary ? "end at a buffer boundary" : "end inside a buffer");
        const int bufferFrames = bufferFramesWhere(frameCount, endAtBufferBoundary);
        auto playback = startPlayback(image, bufferFrames, false);
        Mp3Stream* stream = playback->stream;
        const std::vector<Bytes> expected = layOutInBuffers(reference, playback->bufferBytes());

        for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(playback->poll(), POLL_OK);
        // The poll that met the end rewound the stream and started the countdown.
        EXPECT_EQ(stream->endCountdown, 2);
        EXPECT_EQ(stream->dataCursor, stream->dataStart);
        EXPECT_EQ(stream->currentFrame, 0);
        EXPECT_EQ(playback->poll(), POLL_OK);
        EXPECT_EQ(stream->endCountdown, 1);
        EXPECT_EQ(playback->poll(), POLL_FINISHED);
        EXPECT_TRUE(playback->sink->stopped());
        EXPECT_EQ(stream->audioStream, nullptr);
        EXPECT_EQ(mp3StreamPoll(stream), POLL_NOT_PLAYING);

        const auto& delivered = playback->sink->delivered();
        ASSERT_EQ(delivered.size(), expected.size() + 2);
        expectBuffersEqual(delivered, expected, expected.size());
        for (size_t i = expected.size(); i < delivered.size(); ++i)
            EXPECT_TRUE(isUnsignedSilence(delivered[i].data(), delivered[i].size())) << "buffer " << i;
        // The rest of the last buffer with PCM is silence too.
        const size_t pcmInLast = (frameCount % bufferFrames) * size_t(stream->outBytesPerFrame);
        if (!endAtBufferBoundary) {
            const Bytes& last = delivered[expected.size() - 1];
            EXPECT_TRUE(isUnsignedSilence(last.data() + pcmInLast, last.size() - pcmInLast));
        }
        EXPECT_TRUE(concat(playback->pcmPerPoll) == concat(reference));
    }
}

TEST_P(PollScenario, LoopPointInsideBufferRunsOnWithoutDecoderReset) {
    const int bufferFrames = bufferFramesWhere(frameCount, false);
    auto playback = startPlayback(image, bufferFrames, true);
    const std::vector<Bytes> continuous = referenceFrames(playback->stream, 2);
    ASSERT_EQ(continuous.size(), 2 * reference.size());
    // Running on from the last frame gives other samples than a fresh start,
    // so equal buffers show that the decoder was not reset.
    ASSERT_FALSE(continuous[reference.size()] == reference[0]);

    const std::vector<Bytes> expected = layOutInBuffers(continuous, playback->bufferBytes());
    const size_t polls = expected.size() - 1;  // the last one may be partial
    for (size_t i = 0; i < polls; ++i) ASSERT_EQ(playback->poll(), POLL_OK) << "poll " << i;
    expectBuffersEqual(playback->sink->delivered(), expected, polls);
    EXPECT_EQ(playback->stream->endCountdown, 0);
    EXPECT_EQ(playback->stream->needsReset, 0);
    EXPECT_FALSE(playback->sink->stopped());
}

TEST_P(PollScenario, LoopPointAtBufferBoundaryResetsDecoderOnNextPoll) {
    const int bufferFrames = bufferFramesWhere(frameCount, true);
    auto playback = startPlayback(image, bufferFrames, true);
    Mp3Stream* stream = playback->stream;
    std::vector<Bytes> twiceFresh = reference;
    twiceFresh.insert(twiceFresh.end(), reference.begin(), reference.end());
    const std::vector<Bytes> expected = layOutInBuffers(twiceFresh, playback->bufferBytes());

    const size_t firstPass = size_t(frameCount / bufferFrames);
    for (size_t i = 0; i < firstPass; ++i) ASSERT_EQ(playback->poll(), POLL_OK);
    EXPECT_EQ(stream->needsReset, STREAM_TRUE);
    EXPECT_EQ(stream->currentFrame, 0);
    EXPECT_EQ(stream->dataCursor, stream->dataStart);
    ASSERT_EQ(playback->poll(), POLL_OK);
    EXPECT_EQ(stream->needsReset, 0);
    for (size_t i = firstPass + 1; i < expected.size(); ++i) ASSERT_EQ(playback->poll(), POLL_OK);
    expectBuffersEqual(playback->sink->delivered(), expected, expected.size());
}

TEST_P(PollScenario, RewindWhilePlayingRestartsFromFirstFrameWithFreshDecoder) {
    auto playback = startPlayback(image, 2, false);
    Mp3Stream* stream = playback->stream;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(playback->poll(), POLL_OK);
    mp3StreamRewind(stream);
    EXPECT_EQ(stream->needsReset, STREAM_TRUE);
    EXPECT_GE(stream->decoder.previousFrameSize, 0) << "the decoder is reset by the next poll, not by the rewind";

    ASSERT_EQ(playback->poll(), POLL_OK);
    const auto& delivered = playback->sink->delivered();
    EXPECT_TRUE(delivered.back() == delivered.front());
    EXPECT_EQ(stream->currentFrame, 2);
    EXPECT_EQ(stream->needsReset, 0);
}

TEST_P(PollScenario, RewindDuringEndCountdownDoesNotCancelIt) {
    auto playback = startPlayback(image, 4, false);
    Mp3Stream* stream = playback->stream;
    while (stream->endCountdown == 0) ASSERT_EQ(playback->poll(), POLL_OK);
    const size_t before = playback->sink->delivered().size();
    mp3StreamRewind(stream);

    EXPECT_EQ(playback->poll(), POLL_OK);
    EXPECT_EQ(stream->endCountdown, 1);
    EXPECT_EQ(playback->poll(), POLL_FINISHED);
    const auto& delivered = playback->sink->delivered();
    ASSERT_EQ(delivered.size(), before + 2);
    for (size_t i = before; i < delivered.size(); ++i)
        EXPECT_TRUE(isUnsignedSilence(delivered[i].data(), delivered[i].size()));
    EXPECT_EQ(mp3StreamPoll(stream), POLL_NOT_PLAYING);
}

TEST_P(PollScenario, RewindAfterEndWithLoopingSwitchedOnClearsCountdown) {
    auto playback = startPlayback(image, 4, false);
    Mp3Stream* stream = playback->stream;
    while (stream->endCountdown == 0) ASSERT_EQ(playback->poll(), POLL_OK);
    stream->looping = STREAM_TRUE;
    mp3StreamRewind(stream);

    ASSERT_EQ(playback->poll(), POLL_OK);
    EXPECT_EQ(stream->endCountdown, 0);
    const auto& delivered = playback->sink->delivered();
    EXPECT_TRUE(delivered.back() == delivered.front());
}

TEST_P(PollScenario, NoFreeBufferMeansNothingDone) {
    auto playback = startPlayback(image, 2, false, 0);
    EXPECT_EQ(playback->poll(), POLL_OK);
    EXPECT_EQ(playback->stream->currentFrame, 0);
    EXPECT_EQ(playback->stream->dataCursor, playback->stream->dataStart);
    EXPECT_TRUE(playback->sink->delivered().empty());
}

TEST_P(PollScenario, TimerCallbackPollsTheStream) {
    auto playback = startPlayback(image, 2, false);
    pollTimerCallback(playback->stream);
    EXPECT_EQ(playback->stream->currentFrame, 2);
    EXPECT_EQ(playback->sink->delivered().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(BothLayers, PollScenario, ::testing::Values(kLayer3Stream, kLayer2Stream),
                         streamNameOf);

// Frames fed but not yet decoded when the data ends: a stream with a Xing
// header is fed 1792 bytes at a time, any other one frame of the first
// frame's size at a time, which holds several frames of a variable bitrate
// stream whose later frames are smaller.
class PollEndOfData : public ::testing::TestWithParam<const char*> {};

TEST_P(PollEndOfData, FramesStillBufferedAtEndOfDataArePlayed) {
    const Bytes image = loadImage(GetParam());
    for (int bufferFrames : {1, 3, 4}) {
        SCOPED_TRACE(bufferFrames);
        auto playback = startPlayback(image, bufferFrames, false);
        ASSERT_NE(playback, nullptr);
        const std::vector<Bytes> reference = referenceFrames(playback->stream);
        const std::vector<int> results = playback->pollToEnd();
        EXPECT_EQ(results.back(), POLL_FINISHED);
        EXPECT_EQ(concat(playback->pcmPerPoll).size(), concat(reference).size());
        EXPECT_TRUE(concat(playback->pcmPerPoll) == concat(reference));

    }
    // Looping with the loop point inside a buffer: the buffered frames come
    // before the loop point and decoding runs on into the first frame.
    auto probe = startPlayback(image, 1, false);
    const int frameCount = nonEmptyFrames(referenceFrames(probe->stream));
    auto looping = startPlayback(image, bufferFramesWhere(frameCount, false), true);
    const std::vector<Bytes> continuous = referenceFrames(looping->stream, 2);
    const std::vector<Bytes> expected = layOutInBuffers(continuous, looping->bufferBytes());
    for (size_t i = 0; i + 1 < expected.size(); ++i) ASSERT_EQ(looping->poll(), POLL_OK);
    expectBuffersEqual(looping->sink->delivered(), expected, expected.size() - 1);
}

INSTANTIATE_TEST_SUITE_P(VariableBitrate, PollEndOfData,
                         ::testing::Values("streams/lame_vbr_xing_44100.mp3", "encoded/l3_mpeg1_44100_joint_vbr.mp3"),
                         streamNameOf);

// Streams with a stretch of zero bytes from `at` on.
class DamagedStream : public ::testing::TestWithParam<const char*> {
protected:
    static constexpr int kDamageAt = 8000;

    void SetUp() override {
        image = loadImage(GetParam());
        auto probe = startPlayback(image, 1, false);
        ASSERT_NE(probe, nullptr);
        reference = referenceFrames(probe->stream);
        frameLength = probe->stream->frameLength;
        frameBytes = probe->stream->outBytesPerFrame;
        ASSERT_GT(int(image.size()), kDamageAt + 20000);
    }

    Bytes damaged(int length) const {
        Bytes copy = image;
        std::fill(copy.begin() + kDamageAt, copy.begin() + kDamageAt + length, 0);
        return copy;
    }

    Bytes image;
    std::vector<Bytes> reference;
    int frameLength = 0;
    int frameBytes = 0;
};

TEST_P(DamagedStream, StretchShorterThanSearchWindowIsPlayedThrough) {
    auto playback = startPlayback(damaged(3000), 3, false);
    const std::vector<int> results = playback->pollToEnd();
    EXPECT_EQ(results.back(), POLL_FINISHED);
    EXPECT_EQ(std::count(results.begin(), results.end(), POLL_LOST_SYNC), 0);

    // The frames well after the damage decode as in the undamaged stream.
    const Bytes played = concat(playback->pcmPerPoll);
    const Bytes whole = concat(reference);
    const size_t tail = 8 * size_t(frameBytes);
    ASSERT_GT(played.size(), tail);
    EXPECT_LT(played.size(), whole.size());
    EXPECT_TRUE(std::equal(played.end() - tail, played.end(), whole.end() - tail));
}

TEST_P(DamagedStream, StretchLongerThanSearchWindowLosesSync) {
    auto playback = startPlayback(damaged(20000), 3, false);
    Mp3Stream* stream = playback->stream;
    const std::vector<int> results = playback->pollToEnd();
    EXPECT_EQ(results.back(), POLL_LOST_SYNC);
    EXPECT_TRUE(playback->sink->stopped());
    EXPECT_EQ(stream->audioStream, nullptr);
    EXPECT_EQ(stream->dataCursor, stream->dataStart);
    EXPECT_EQ(stream->currentFrame, 0);
    // The buffer of the failing poll is handed back too, with what was decoded.
    EXPECT_EQ(playback->sink->delivered().size(), results.size());
    EXPECT_EQ(mp3StreamPoll(stream), POLL_NOT_PLAYING);

    // Everything before the damage was delivered as decoded.
    const Bytes played = concat(playback->pcmPerPoll);
    const Bytes whole = concat(reference);
    const size_t intact = size_t(kDamageAt / frameLength - 1) * size_t(frameBytes);
    ASSERT_GE(played.size(), intact);
    EXPECT_LT(played.size(), size_t(kDamageAt / frameLength + 2) * size_t(frameBytes));
    EXPECT_TRUE(std::equal(played.begin(), played.begin() + intact, whole.begin()));
}

INSTANTIATE_TEST_SUITE_P(BothLayers, DamagedStream,
                         ::testing::Values("iso/l3-compl.bit", "encoded/l2_mpeg1_48000_stereo_384k_crc.mp2"),
                         streamNameOf);

// An output whose buffers are followed by a guard area that must stay untouched.
class GuardedOutput final : public AudioOutput {
public:
    explicit GuardedOutput(int bufferBytes) : bufferBytes_(bufferBytes), area_(size_t(bufferBytes) + kGuard, kFill) {}
    void* getBuffer() override { return area_.data(); }
    void freeBuffer() override {
        delivered.emplace_back(area_.begin(), area_.begin() + bufferBytes_);
        guardIntact = guardIntact && std::all_of(area_.begin() + bufferBytes_, area_.end(),
                                                 [](uint8_t b) { return b == kFill; });
    }
    void stop() override { stopped = true; }

    std::vector<Bytes> delivered;
    bool guardIntact = true;
    bool stopped = false;

private:
    static constexpr size_t kGuard = 8192;
    static constexpr uint8_t kFill = 0xA5;
    int bufferBytes_;
    Bytes area_;
};

TEST(PollChannelSwitch, FrameLargerThanRoomLeftIsCutAtBufferEnd) {
    // Starts with one channel (2304 bytes a frame), then has two-channel frames.
    const Bytes image = loadImage("iso/l3-he_mode.bit");
    for (int bufferFrames : {1, 2, 3}) {
        SCOPED_TRACE(bufferFrames);
        auto playback = startPlayback(image, bufferFrames, false);
        Mp3Stream* stream = playback->stream;
        ASSERT_NE(stream, nullptr);
        ASSERT_EQ(stream->outBytesPerFrame, 2304);
        const std::vector<Bytes> reference = referenceFrames(stream);
        ASSERT_GT(std::count_if(reference.begin(), reference.end(), [](const Bytes& f) { return f.size() == 4608; }),
                  0);

        GuardedOutput output(playback->bufferBytes());
        stream->audioStream = &output;
        int result = POLL_OK;
        for (int polls = 0; result == POLL_OK && polls < 10000; ++polls) result = mp3StreamPoll(stream);
        EXPECT_EQ(result, POLL_FINISHED);
        EXPECT_TRUE(output.guardIntact);

        const std::vector<Bytes> expected = layOutInBuffers(reference, playback->bufferBytes());
        ASSERT_EQ(output.delivered.size(), expected.size() + 2);
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_TRUE(toSigned(output.delivered[i]) == expected[i]) << "buffer " << i;
        stream->audioStream = nullptr;  // the output goes before the stream
    }
}

void setBit(Bytes* bytes, size_t byteOffset, int bit, bool value) {
    uint8_t& byte = (*bytes)[byteOffset + size_t(bit / 8)];
    const uint8_t mask = uint8_t(0x80 >> (bit % 8));
    byte = value ? uint8_t(byte | mask) : uint8_t(byte & ~mask);
}

TEST(PollNothingPlayable, LoopingStreamThatNeverYieldsSamplesLosesSyncInsteadOfSpinning) {
    // Two 192-byte single-channel frames: the first takes main data from the
    // frame before it, so after a decoder reset it yields no samples; the
    // second names window switching with block type 0 and fails to decode.
    // The search after the failure always comes round to the first frame.
    const Bytes source = loadImage("iso/l3-compl.bit");
    Bytes image(source.begin() + 192, source.begin() + 576);
    ASSERT_GT(image[4], 0) << "main data begins in the frame before";
    const size_t sideInfo = 192 + 4;
    setBit(&image, sideInfo, 51, true);   // window switching
    setBit(&image, sideInfo, 52, false);  // block type 0
    setBit(&image, sideInfo, 53, false);

    for (bool looping : {false, true}) {
        SCOPED_TRACE(looping ? "looping" : "not looping");
        auto playback = startPlayback(image, 2, looping);
        ASSERT_NE(playback, nullptr);
        EXPECT_EQ(playback->poll(), POLL_LOST_SYNC);
        EXPECT_TRUE(playback->sink->stopped());
        EXPECT_EQ(playback->stream->dataCursor, playback->stream->dataStart);
    }
}

TEST(PollDecodeOneFrame, ReportsDoneShortAndFailed) {
    auto playback = startPlayback(loadImage("iso/l3-si.bit"), 1, false);
    Mp3Stream* stream = playback->stream;
    ASSERT_EQ(stream->xing, nullptr);
    Bytes output(kFrameOutputBytes);
    int decoded = -7;
    int consumed = -7;
    EXPECT_EQ(decodeOneFrame(stream, stream->dataCursor, output.data(), &decoded, &consumed), FRAME_DONE);
    EXPECT_EQ(consumed, stream->frameLength + 4) << "one frame and the next header per piece";
    EXPECT_EQ(decoded, stream->outBytesPerFrame);

    // Data that ends inside a frame.
    mp3StreamResetDecoder(stream);
    const int fullLength = stream->dataLength;
    stream->dataLength = stream->frameLength - 10;
    EXPECT_EQ(decodeOneFrame(stream, stream->dataCursor, output.data(), &decoded, &consumed), FRAME_SHORT);
    EXPECT_EQ(consumed, stream->dataLength);
    stream->dataLength = fullLength;

    // A position that is not a frame.
    mp3StreamResetDecoder(stream);
    stream->dataCursor = stream->dataStart + 1;
    EXPECT_EQ(decodeOneFrame(stream, stream->dataCursor, output.data(), &decoded, &consumed), FRAME_FAILED);
}

TEST(PollFlipSampleSigns, FlipsTopBitOfWholeWordsOnlyFor16BitSamples) {
    auto stream = std::make_unique<Mp3Stream>();
    stream->sampleBits = 16;
    stream->bufferFrames = 1;
    stream->outBytesPerFrame = 6;  // one whole word and two bytes left over
    Bytes buffer = {0x00, 0x00, 0xFF, 0x7F, 0x00, 0x80};
    flipSampleSigns(stream.get(), buffer.data());
    EXPECT_EQ(buffer, (Bytes{0x00, 0x80, 0xFF, 0xFF, 0x00, 0x80}));

    stream->sampleBits = 8;
    flipSampleSigns(stream.get(), buffer.data());
    EXPECT_EQ(buffer, (Bytes{0x00, 0x80, 0xFF, 0xFF, 0x00, 0x80}));
}

// Images that must run through the poll to its end without reading or
// writing outside any buffer (the sanitizer build checks that).
std::vector<std::pair<std::string, Bytes>> brokenAndOddImages() {
    std::vector<std::pair<std::string, Bytes>> images;
    std::mt19937 random(20261207);
    auto noise = [&](size_t n) {
        Bytes bytes(n);
        for (uint8_t& b : bytes) b = uint8_t(random());
        return bytes;
    };
    const Bytes layer3 = loadImage(kLayer3Stream);
    const Bytes layer2 = loadImage(kLayer2Stream);
    images.emplace_back("layer III cut inside a frame", Bytes(layer3.begin(), layer3.begin() + 10001));
    images.emplace_back("layer II cut inside a frame", Bytes(layer2.begin(), layer2.begin() + 5003));
    Bytes headThenNoise(layer3.begin(), layer3.begin() + 1500);
    const Bytes tail = noise(30000);
    headThenNoise.insert(headThenNoise.end(), tail.begin(), tail.end());
    images.emplace_back("frames then noise", headThenNoise);
    Bytes speckled = layer3;
    for (size_t at = 2000; at + 40 < speckled.size(); at += 1777) {
        const Bytes speck = noise(40);
        std::copy(speck.begin(), speck.end(), speckled.begin() + long(at));
    }
    images.emplace_back("noise specks in every few frames", speckled);
    // Noise sprinkled with frame headers of every kind.
    Bytes headers = noise(40000);
    for (size_t at = 0; at + 4 < headers.size(); at += 613) {
        headers[at] = 0xFF;
        headers[at + 1] = uint8_t(0xE2 | (random() & 0x1F));
    }
    Bytes realStart(layer2.begin(), layer2.begin() + 2000);
    realStart.insert(realStart.end(), headers.begin(), headers.end());
    images.emplace_back("headers in noise", realStart);
    for (const TestStream& stream : testStreams("ref", "iso")) images.emplace_back(stream.path, loadImage(stream.path));
    return images;
}

TEST(PollBrokenStreams, RunThroughThePollToTheEnd) {
    for (const auto& [name, image] : brokenAndOddImages()) {
        for (int bufferFrames : {1, 3}) {
            SCOPED_TRACE(name + ", frames per buffer " + std::to_string(bufferFrames));
            auto once = startPlayback(image, bufferFrames, false);
            if (!once) continue;
            const std::vector<int> results = once->pollToEnd(20000);
            EXPECT_TRUE(results.back() == POLL_FINISHED || results.back() == POLL_LOST_SYNC);

            auto looping = startPlayback(image, bufferFrames, true);
            const std::vector<int> loopResults = looping->pollToEnd(300);
            EXPECT_TRUE(loopResults.back() == POLL_OK || loopResults.back() == POLL_LOST_SYNC);
        }
    }
}

}  // namespace
}  // namespace sorvil::test
