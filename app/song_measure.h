// Loading a song whole and measuring its playing time.
#pragma once

#include <cstdint>
#include <string>

#include "app/song_digest.h"
#include "app/song_list_run.h"
#include "app/song_measurement.h"

namespace sorvil {

// The largest song loaded whole: over seven hours at 320 kbit/s. Anything
// larger is refused before it is mapped, which also keeps every size inside
// the int the load reports.
constexpr uint64_t kLargestSong = uint64_t(1) << 30;

// Maps the song into `image` and gives its size. -1 when there is nothing to
// measure: with errno set when the file could not be read (a failure of the
// run), with errno 0 when it is the file's own nature (empty, not a plain
// file, over kLargestSong: then its size is put in `refusedSize`).
int loadWholeFile(GuardedMapping& image, int folder, const char* name, uint64_t* refusedSize = nullptr);

// Measures the song, saying nothing. A song that is no plain file
// (`plainFile` false, as the listing found it) is not opened: it holds no
// audio. With `digest`, the digest of its bytes is made from the same
// reading; `digested` says whether it was read whole.
SongMeasurement measureFile(GuardedMapping& image, int folder, const char* name, bool plainFile,
                            SongDigest* digest = nullptr, bool* digested = nullptr);

// Says on the console what the measurement found, naming `shownName`, with
// the reason when a call failed; a song that could not be read is a failure
// of the run. The duration in whole seconds, 0 when there is none.
int reportMeasurement(SongListRun& run, const SongMeasurement& measurement, const std::string& shownName);

// Both at once: the song measured now.
int measureSong(SongListRun& run, int folder, const char* name, const std::string& shownName, bool plainFile);

}  // namespace sorvil
