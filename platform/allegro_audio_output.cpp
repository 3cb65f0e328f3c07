// The library side of the audio output seam. <allegro.h> is included only by
// the .cpp files that call the library, never by a header: its macros and
// globals must not leak into the rest of the code.
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

bool AllegroAudioOutput::installTimerCallback(void (*callback)(void*), void* parameter, int milliseconds) {
    timerCallback_ = callback;
    timerParameter_ = parameter;
    return install_param_int_ex(callback, parameter, MSEC_TO_TIMER(milliseconds)) == 0;
}

void AllegroAudioOutput::removeTimerCallback() {
    if (timerCallback_) remove_param_int(timerCallback_, timerParameter_);
}

}  // namespace sorvil
