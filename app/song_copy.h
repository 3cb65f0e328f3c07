// A song's copy in the music folder under its number's 8.3 name.
#pragma once

#include <string>

#include "app/song_list_run.h"

namespace sorvil {

// Copies beyond song9999.mp3 keep the same pattern, which no longer fits 8.3.
constexpr int kFirstLongNumber = 10000;

// Gives the song the run's next number and copies it into the music folder,
// unless the earlier run's copy under that name is this same song,
// unchanged. Gives the record's start. A failed copy is said and marks the
// run incomplete; a song that is no plain file (`plainFile` false, as the
// listing found it) fails without being opened.
std::string copySong(SongListRun& run, int artistFolder, const char* artist, const char* name, const char* title,
                     bool plainFile);

}  // namespace sorvil
