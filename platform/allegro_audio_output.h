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

    // Null once stopped.
    AUDIOSTREAM* stream() const { return stream_.load(std::memory_order_acquire); }
    // Safe to ask from any thread: an auto-polled stream is stopped by its
    // poll on the timer thread when the song ends, and the thread that
    // started playback learns the end here.
    bool stopped() const { return stream() == nullptr; }

private:
    std::atomic<AUDIOSTREAM*> stream_;
};

}  // namespace sorvil
