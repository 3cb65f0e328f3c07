// How removeTimerCallback reaches the library: set by the first
// installTimerCallback. A program that never installs a timer callback (the
// decode tool) thus never links the library's timer code, nor loads the
// library itself at start.
#pragma once

namespace sorvil {

extern void (*timerCallbackRemover)(void (*callback)(void*), void* parameter);

}  // namespace sorvil
