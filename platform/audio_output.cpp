// The library side of the audio output seam. <allegro.h> is included only by
// the .cpp files that call the library, never by a header: its macros and
// globals must not leak into the rest of the code.
#include "platform/audio_output.h"

#include <allegro.h>

#include "platform/timer_removal.h"

namespace sorvil {

namespace {

void removeLibraryTimerCallback(void (*callback)(void*), void* parameter) { remove_param_int(callback, parameter); }

}  // namespace

bool installTimerCallback(void (*callback)(void*), void* parameter, int milliseconds) {
    timerCallbackRemover = removeLibraryTimerCallback;
    return install_param_int_ex(callback, parameter, MSEC_TO_TIMER(milliseconds)) == 0;
}

}  // namespace sorvil
