#include "platform/allegro_audio_output.h"

#include <allegro.h>

namespace sorvil {

void* AllegroAudioOutput::getBuffer() {
    AUDIOSTREAM* library = stream();
    return library ? get_audio_stream_buffer(library) : nullptr;
}

void AllegroAudioOutput::freeBuffer() {
    if (AUDIOSTREAM* library = stream()) free_audio_stream_buffer(library);
}

// Published only once the library's stream is gone, so a thread that sees
// the output stopped knows the library is done with it.
void AllegroAudioOutput::stop() {
    AUDIOSTREAM* library = stream();
    if (!library) return;
    stop_audio_stream(library);
    stream_.store(nullptr, std::memory_order_release);
}

}  // namespace sorvil
