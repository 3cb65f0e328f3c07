#include "platform/allegro_audio_output.h"

#include <allegro.h>

namespace sorvil {

void* AllegroAudioOutput::getBuffer() { return stream_ ? get_audio_stream_buffer(stream_) : nullptr; }

void AllegroAudioOutput::freeBuffer() {
    if (stream_) free_audio_stream_buffer(stream_);
}

void AllegroAudioOutput::stop() {
    // Stopping also frees the library's stream.
    if (stream_) stop_audio_stream(stream_);
    stream_ = nullptr;
}

}  // namespace sorvil
