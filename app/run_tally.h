// What a run did, counted where it is done, and the closing line that tells
// the user: a re-run that wrote one copy says so, not only a first copy.
#pragma once

#include <string>

namespace sorvil {

struct RunTally {
    int copied = 0;    // copies written, each holding its listed song
    int kept = 0;      // copies of earlier runs listed again, moved ones included
    int moved = 0;     // of those, the ones renamed to a new number
    int removed = 0;   // copies of earlier runs no song keeps, gone from the disk
    int failures = 0;  // each failure said with ERROR (the exit status is then 1)
};

// "NOTE: 1000 songs listed: 1 copied, 999 kept (998 moved), 10 removed, 0 failed",
// with nocopy "NOTE: 1000 songs listed, 0 failed"; "no list written" in place
// of the songs listed when `listed` is negative.
std::string closingNote(const RunTally& tally, bool noCopy, int listed);

}  // namespace sorvil
