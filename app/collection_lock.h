// One run at a time in a collection: a second run would number, move and
// remove the same copies, and each could list what the other removed.
#pragma once

#include "app/song_list_run.h"

namespace sorvil {

// Takes the collection's lock: an flock on the folder the run started in,
// which the kernel drops when the process ends however it ends, so a killed
// run never blocks the next. False (said on standard error) when another run
// holds it: this run then stops at once rather than wait, since that run is
// doing the same work and a scheduled run must not hang behind a manual one.
// A file system that cannot lock is said on the console and the run goes on;
// any other failure to lock stops the run (said on standard error).
bool lockCollection(RunOptions& options, const char* shownFolder);

}  // namespace sorvil
