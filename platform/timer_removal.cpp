#include "platform/timer_removal.h"

#include "platform/audio_output.h"

namespace sorvil {

void (*timerCallbackRemover)(void (*callback)(void*), void* parameter) = nullptr;

// Nothing was ever installed when no remover is set.
void removeTimerCallback(void (*callback)(void*), void* parameter) {
    if (timerCallbackRemover) timerCallbackRemover(callback, parameter);
}

}  // namespace sorvil
