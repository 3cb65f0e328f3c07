#include "platform/stop_request.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>
#include <thread>

namespace sorvil::runtime {

namespace {

// SIGINT and SIGTERM are taken by a thread of their own: every other thread,
// a library's included (they inherit the mask), blocks them.
sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

const sigset_t signals = stopSignals();
std::atomic<bool> watching{false};
std::atomic<int> grace{-1};  // milliseconds; -1 until stopWithGrace
std::atomic<bool> requested{false};

[[noreturn]] void watch() {
    watching.store(true);
    watching.notify_one();
    int signal = 0;
    while (sigwait(&signals, &signal) != 0) continue;
    requested.store(true);
    const int milliseconds = grace.load();
    if (milliseconds >= 0) {  // a second signal cuts it short
        const timespec wait{milliseconds / 1000, long(milliseconds % 1000) * 1'000'000};
        sigtimedwait(&signals, nullptr, &wait);
    }
    _exit(0);
}

}  // namespace

bool watchForStopRequests() {
    const int blocked = pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    if (blocked != 0) {
        errno = blocked;
        return false;
    }
    try {
        std::thread(watch).detach();
    } catch (const std::system_error& error) {
        errno = error.code().value();
        return false;
    }
    // The thread is running before the program can end: one that ends while
    // a new thread is still being set up leaves that set-up's allocations
    // behind, which a leak check reports.
    watching.wait(false);
    return true;
}

void stopWithGrace(int graceMilliseconds) { grace.store(graceMilliseconds); }

bool stopRequested() { return requested.load(); }

}  // namespace sorvil::runtime
