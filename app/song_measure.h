// Loading a song whole and measuring its playing time.
#pragma once

#include <cstdint>
#include <string>

#include "app/song_list_run.h"

namespace sorvil {

// The largest song loaded whole: over seven hours at 320 kbit/s. Anything
// larger is refused before it is mapped, which also keeps every size inside
// the int the load reports.
constexpr uint64_t kLargestSong = uint64_t(1) << 30;

// Maps the song into `image` and gives its size. -1 when there is nothing to
// measure: with errno set when the file could not be read (a failure of the
// run), with errno 0 when it is the file's own nature (empty, not a plain
// file, over kLargestSong).
int loadWholeFile(GuardedMapping& image, int folder, const char* name);

// The song's duration in whole seconds; 0 when it cannot be loaded or no
// stream can be made over it, which is said on the console naming
// `shownName`, with the reason when a call failed. A song that could not be
// read marks the run incomplete. A song that is no plain file (`plainFile`
// false, as the listing found it) is not opened: it holds no audio.
int measureSong(SongListRun& run, int folder, const char* name, const std::string& shownName, bool plainFile);

}  // namespace sorvil
