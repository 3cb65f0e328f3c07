// An audio output in memory: it hands out buffers of a fixed size and keeps
// every buffer handed back, in order. Used by the decode tool and the tests
// in place of a library audio stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/audio_output.h"

namespace sorvil {

class MemoryAudioOutput final : public AudioOutput {
public:
    static constexpr int kUnlimited = -1;

    // bufferBytes is outBytesPerFrame x bufferFrames of the stream it feeds.
    // After bufferLimit buffers getBuffer returns null, as a library stream
    // does when none is free; kUnlimited never runs out.
    explicit MemoryAudioOutput(int bufferBytes, int bufferLimit = kUnlimited);

    void* getBuffer() override;
    void freeBuffer() override;
    void stop() override;

    int bufferBytes() const { return int(buffer_.size()); }
    // The buffers handed back, each bufferBytes long, in order.
    const std::vector<std::vector<uint8_t>>& delivered() const { return delivered_; }
    // Forgets the buffers kept so far (the limit counts on).
    void clearDelivered() { delivered_.clear(); }
    int buffersHandedOut() const { return handedOut_; }
    bool stopped() const { return stopped_; }

private:
    // Exactly bufferBytes: a write past its end is a write past the buffer.
    std::vector<uint8_t> buffer_;
    std::vector<std::vector<uint8_t>> delivered_;
    int bufferLimit_;
    int handedOut_ = 0;
    bool outstanding_ = false;
    bool stopped_ = false;
};

}  // namespace sorvil
