#include "memory_audio_output.h"

namespace sorvil {

MemoryAudioOutput::MemoryAudioOutput(int bufferBytes, int bufferLimit)
    : buffer_(size_t(bufferBytes > 0 ? bufferBytes : 0)), bufferLimit_(bufferLimit) {}

void* MemoryAudioOutput::getBuffer() {
    if (stopped_ || buffer_.empty()) return nullptr;
    // Until it is handed back, the same buffer stays the free one.
    if (outstanding_) return buffer_.data();
    if (bufferLimit_ != kUnlimited && handedOut_ >= bufferLimit_) return nullptr;
    ++handedOut_;
    outstanding_ = true;
    return buffer_.data();
}

void MemoryAudioOutput::freeBuffer() {
    if (!outstanding_) return;
    outstanding_ = false;
    delivered_.push_back(buffer_);
}

void MemoryAudioOutput::stop() { stopped_ = true; }

}  // namespace sorvil
