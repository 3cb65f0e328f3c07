#include "platform/stop_request.h"

#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace sorvil::runtime {

namespace {

std::atomic<int> grace{-1};  // milliseconds; -1 until stopWithGrace
std::atomic<bool> requested{false};

// The system calls this on a thread of its own for each console event.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    const int milliseconds = grace.load();
    if (milliseconds < 0 || requested.exchange(true)) std::_Exit(0);  // not yet playing, or a second request
    ::Sleep(DWORD(milliseconds));
    std::_Exit(0);
}

}  // namespace

bool watchForStopRequests() {
    if (::SetConsoleCtrlHandler(onConsoleEvent, TRUE)) return true;
    errno = EINVAL;
    return false;
}

void stopWithGrace(int graceMilliseconds) { grace.store(graceMilliseconds); }

bool stopRequested() { return requested.load(); }

}  // namespace sorvil::runtime
