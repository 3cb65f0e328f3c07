// The audio output seam: the memory sink, and the same poll driving a real
// library audio stream, which on a machine without sound hands out a few
// buffers and then none.
#include <gtest/gtest.h>

#include <allegro.h>

#include "platform/allegro_audio_output.h"
#include "support/playback_support.h"

namespace sorvil::test {
namespace {

const char* const kStream = "encoded/l3_mpeg1_44100_joint_128k.mp3";

TEST(MemoryAudioOutput, HandsOutBuffersUpToItsLimitAndKeepsWhatItGets) {
    MemoryAudioOutput output(8, 2);
    EXPECT_EQ(output.bufferBytes(), 8);
    auto* first = static_cast<uint8_t*>(output.getBuffer());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(output.getBuffer(), first) << "the same buffer until it is handed back";
    first[0] = 1;
    output.freeBuffer();
    auto* second = static_cast<uint8_t*>(output.getBuffer());
    ASSERT_NE(second, nullptr);
    second[0] = 2;
    output.freeBuffer();
    EXPECT_EQ(output.getBuffer(), nullptr);
    EXPECT_EQ(output.buffersHandedOut(), 2);
    ASSERT_EQ(output.delivered().size(), 2u);
    EXPECT_EQ(output.delivered()[0][0], 1);
    EXPECT_EQ(output.delivered()[1][0], 2);
    EXPECT_EQ(output.delivered()[1].size(), 8u);
}

TEST(MemoryAudioOutput, StoppedOutputHandsOutNothing) {
    MemoryAudioOutput output(8);
    output.stop();
    EXPECT_TRUE(output.stopped());
    EXPECT_EQ(output.getBuffer(), nullptr);
}

// Passes everything on to another output and keeps a copy of each buffer
// handed back, read before the library takes it back.
class RecordingOutput final : public AudioOutput {
public:
    RecordingOutput(AudioOutput* inner, int bufferBytes) : inner_(inner), bufferBytes_(bufferBytes) {}
    void* getBuffer() override {
        current_ = static_cast<uint8_t*>(inner_->getBuffer());
        return current_;
    }
    void freeBuffer() override {
        delivered.emplace_back(current_, current_ + bufferBytes_);
        inner_->freeBuffer();
    }
    void stop() override { inner_->stop(); }

    std::vector<Bytes> delivered;

private:
    AudioOutput* inner_;
    int bufferBytes_;
    uint8_t* current_ = nullptr;
};

// A library audio stream whose buffers hold what the stream's buffers hold.
AUDIOSTREAM* playLibraryStream(const Mp3Stream* stream) {
    const int channels = stream->stereo ? 2 : 1;
    const int samplesPerBuffer = stream->outBytesPerFrame * stream->bufferFrames / (2 * channels);
    return play_audio_stream(samplesPerBuffer, 16, channels == 2, stream->sampleRate, 255, 128);
}

TEST(AllegroAudioOutput, PollFillsTheLibraryStreamsBuffersUntilItHasNoneFree) {
    auto playback = startPlayback(loadImage(kStream), 2, false);
    ASSERT_NE(playback, nullptr);
    Mp3Stream* stream = playback->stream;
    AUDIOSTREAM* library = playLibraryStream(stream);
    ASSERT_NE(library, nullptr);
    AllegroAudioOutput output(library);
    stream->audioStream = &output;

    int previousFrame = 0;
    int buffersFilled = 0;
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(mp3StreamPoll(stream), POLL_OK);
        if (stream->currentFrame > previousFrame) ++buffersFilled;
        previousFrame = stream->currentFrame;
    }
    EXPECT_GT(buffersFilled, 0);
    EXPECT_LT(buffersFilled, 12) << "without sound the library stream runs out of free buffers";
    EXPECT_EQ(stream->currentFrame, 2 * buffersFilled);

    // Stopping removes the (never installed) timer callback and the library stream.
    stream->autoPolling = STREAM_TRUE;
    mp3StreamStop(stream);
    EXPECT_EQ(stream->audioStream, nullptr);
    EXPECT_EQ(output.stream(), nullptr);
    EXPECT_EQ(mp3StreamPoll(stream), POLL_NOT_PLAYING);
}

TEST(AllegroAudioOutput, DestroyingTheOutputStopsTheLibraryStream) {
    AUDIOSTREAM* library = play_audio_stream(1152, 16, 1, 44100, 255, 128);
    ASSERT_NE(library, nullptr);
    {
        AllegroAudioOutput output(library);
        EXPECT_NE(output.getBuffer(), nullptr);
        output.freeBuffer();
    }
    // A second stop is harmless.
    AllegroAudioOutput stopped(play_audio_stream(1152, 16, 1, 44100, 255, 128));
    stopped.stop();
    stopped.stop();
    EXPECT_EQ(stopped.stream(), nullptr);
    EXPECT_EQ(stopped.getBuffer(), nullptr);
}

TEST(AllegroAudioOutput, LibraryStreamGetsExactlyWhatTheMemorySinkGets) {
    const Bytes image = loadImage(kStream);
    auto throughLibrary = startPlayback(image, 3, false);
    ASSERT_NE(throughLibrary, nullptr);
    AUDIOSTREAM* library = playLibraryStream(throughLibrary->stream);
    ASSERT_NE(library, nullptr);
    AllegroAudioOutput libraryOutput(library);
    RecordingOutput recorder(&libraryOutput, throughLibrary->bufferBytes());
    throughLibrary->stream->audioStream = &recorder;
    for (int i = 0; i < 12; ++i) ASSERT_EQ(mp3StreamPoll(throughLibrary->stream), POLL_OK);
    const int handedOut = int(recorder.delivered.size());
    ASSERT_GT(handedOut, 0);
    mp3StreamStop(throughLibrary->stream);

    auto inMemory = startPlayback(image, 3, false, handedOut);
    for (int i = 0; i < 12; ++i) ASSERT_EQ(inMemory->poll(), POLL_OK);
    ASSERT_EQ(int(inMemory->sink->delivered().size()), handedOut);
    for (int i = 0; i < handedOut; ++i)
        EXPECT_TRUE(recorder.delivered[size_t(i)] == inMemory->sink->delivered()[size_t(i)]) << "buffer " << i;
    EXPECT_EQ(throughLibrary->stream->currentFrame, 3 * handedOut) << "stopping does not rewind";
}

}  // namespace
}  // namespace sorvil::test
