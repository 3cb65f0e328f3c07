// What measuring a song found. A copy run measures a song while it plans,
// from the same reading that tells its bytes, and says what it found only
// when the song's turn comes, so the console reads as if measured then.
#pragma once

#include <cstdint>

namespace sorvil {

struct SongMeasurement {
    int seconds = 0;
    int error = 0;             // errno of a call that failed: the song could not be read
    uint64_t refusedSize = 0;  // a file over the largest song, not loaded
    bool loaded = false;       // it had bytes to measure
    bool streamMade = false;   // an MP3 stream could be made over them
    bool cut = false;          // the file shrank while it was read: what was read is not it
};

}  // namespace sorvil
