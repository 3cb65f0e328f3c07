// Stream stop, rewind, decoder reset and destroy.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "mp3stream/player/stream_poll.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

struct CountingOutput : AudioOutput {
    void* getBuffer() override { return nullptr; }
    void freeBuffer() override {}
    void stop() override { ++stops; }
    int stops = 0;
};

class StreamLifetime : public ::testing::Test {
protected:
    void SetUp() override {
        image = test::readFile(test::testData("streams/lame_vbr_xing_44100.mp3"));
        stream = mp3StreamCreate(reinterpret_cast<const uint8_t*>(image.data()), int(image.size()));
        ASSERT_NE(stream, nullptr);
    }
    void TearDown() override { mp3StreamDestroy(stream); }
    std::string image;
    Mp3Stream* stream = nullptr;
};

TEST_F(StreamLifetime, StopOnAnIdleStreamDoesNothing) {
    EXPECT_EQ(mp3StreamIsPlaying(stream), 0);
    mp3StreamStop(stream);
    EXPECT_EQ(stream->audioStream, nullptr);
}

TEST_F(StreamLifetime, StopEndsPlayingOnce) {
    CountingOutput output;
    stream->audioStream = &output;
    stream->autoPolling = -1;  // the timer callback is removed (never installed here)
    EXPECT_EQ(mp3StreamIsPlaying(stream), -1);
    mp3StreamStop(stream);
    EXPECT_EQ(output.stops, 1);
    EXPECT_EQ(stream->audioStream, nullptr);
    EXPECT_EQ(mp3StreamIsPlaying(stream), 0);
    mp3StreamStop(stream);
    EXPECT_EQ(output.stops, 1);
}

// Stands for a library audio stream: the poll that asks it for a buffer
// waits there until the test lets it go on.
struct HeldOutput : CountingOutput {
    void* getBuffer() override {
        std::unique_lock<std::mutex> lock(mutex);
        polling = true;
        changed.notify_all();
        changed.wait(lock, [this] { return released; });
        return nullptr;
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool polling = false;
    bool released = false;
};

TEST_F(StreamLifetime, StopOfAnAutoPolledStreamWaitsForThePollUnderWay) {
    HeldOutput output;
    stream->audioStream = &output;
    stream->autoPolling = -1;
    std::thread timer([&] { pollTimerCallback(stream); });
    {
        std::unique_lock<std::mutex> lock(output.mutex);
        output.changed.wait(lock, [&] { return output.polling; });
    }
    std::atomic<bool> stopped{false};
    std::thread owner([&] {
        mp3StreamStop(stream);
        stopped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(stopped) << "stopped while a poll was under way";
    {
        std::lock_guard<std::mutex> lock(output.mutex);
        output.released = true;
        output.changed.notify_all();
    }
    timer.join();
    owner.join();
    EXPECT_EQ(output.stops, 1);
    EXPECT_EQ(stream->audioStream, nullptr);
}

TEST_F(StreamLifetime, DestroyStopsAPlayingStream) {
    CountingOutput output;
    stream->audioStream = &output;
    mp3StreamDestroy(stream);
    stream = nullptr;
    EXPECT_EQ(output.stops, 1);
    mp3StreamDestroy(nullptr);
}

TEST_F(StreamLifetime, RewindMarksTheDecoderForReset) {
    const uint8_t bytes[5] = {1, 2, 3, 4, 5};
    addInputBuffer(&stream->decoder, bytes, 5);
    stream->dataCursor = stream->dataStart + 1000;
    stream->currentFrame = 12;
    mp3StreamRewind(stream);
    EXPECT_EQ(stream->dataCursor, stream->dataStart);
    EXPECT_EQ(stream->currentFrame, 0);
    EXPECT_EQ(stream->needsReset, -1);
    EXPECT_EQ(stream->decoder.bufferedBytes, 5);  // untouched until the next poll

    EXPECT_EQ(mp3StreamResetDecoder(stream), 0);
    EXPECT_EQ(stream->needsReset, 0);
    EXPECT_EQ(stream->decoder.bufferedBytes, 0);
    EXPECT_EQ(stream->decoder.oldestBuffer, nullptr);
    EXPECT_EQ(stream->decoder.previousFrameSize, -1);
    EXPECT_EQ(stream->decoder.synthOffset, 1);
}

}  // namespace
}  // namespace sorvil
