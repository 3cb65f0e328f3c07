#include "platform/audio_output.h"

namespace sorvil {

void removeTimerCallback(void (*)(void*), void*) {}  // TODO

}  // namespace sorvil
