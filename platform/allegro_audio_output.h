// The product's audio output: a library audio stream. Its buffers hold
// unsigned PCM in the format the stream was started with.
#pragma once

#include <atomic>

#include "platform/audio_output.h"

struct AUDIOSTREAM;

namespace sorvil {

class AllegroAudioOutput final : public AudioOutput {
public:
    // Takes over the audio stream: stop() or the destructor stops and
    // releases it.
    explicit AllegroAudioOutput(AUDIOSTREAM* stream) : stream_(stream) {}
    ~AllegroAudioOutput() override { stop(); }
    AllegroAudioOutput(const AllegroAudioOutput&) = delete;
    AllegroAudioOutput& operator=(const AllegroAudioOutput&) = delete;

    void* getBuffer() override;
    void freeBuffer() override;
    void stop() override;

    // Calls callback(parameter) on the library's timer thread every
    // `milliseconds`, until removeTimerCallback; false when it cannot be
    // installed.
    bool installTimerCallback(void (*callback)(void*), void* parameter, int milliseconds);
    void removeTimerCallback() override;

    // Null once stopped.
    AUDIOSTREAM* stream() const { return stream_.load(std::memory_order_acquire); }
    // Safe to ask from any thread: an auto-polled stream is stopped by its
    // poll on the timer thread when the song ends, and the thread that
    // started playback learns the end here.
    bool stopped() const { return stream() == nullptr; }

private:
    std::atomic<AUDIOSTREAM*> stream_;
    // Set before the callback is installed and kept: removal reads them from
    // the owner's thread and from the callback's own.
    void (*timerCallback_)(void*) = nullptr;
    void* timerParameter_ = nullptr;
};

}  // namespace sorvil
