// A user's request to stop a program: Ctrl-C at the console, or the system
// asking the program to end (SIGINT or SIGTERM on POSIX; the console's
// Ctrl-C, Ctrl-Break and close events on Windows).
#pragma once

namespace sorvil::runtime {

// Watches for stop requests from now on, for the rest of the program; call
// it before any other thread starts. Until stopWithGrace() a request ends
// the program at once with status 0 (the main thread may be held in a
// library that does not answer). False, with errno set, when it cannot watch.
bool watchForStopRequests();
// From now on a request is handed to the program through stopRequested(),
// which then has `graceMilliseconds` to end on its own before it is ended
// with status 0; a second request ends it at once.
void stopWithGrace(int graceMilliseconds);
// True once a request came after stopWithGrace().
bool stopRequested();

}  // namespace sorvil::runtime
