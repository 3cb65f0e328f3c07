// A song's copy in the music folder under its number's 8.3 name.
#pragma once

#include <string>

#include "app/song_list_run.h"

namespace sorvil {

// Copies beyond song9999.mp3 keep the same pattern, which no longer fits 8.3.
constexpr int kFirstLongNumber = 10000;

// Makes sure the song's copy holds it, as the run's plan says: kept, already
// moved to its number, or copied anew. Gives the record's start; `shownName`
// gets the path messages name the song by; `listed` says whether its copy
// holds it (a failed copy is said, marks the run incomplete and is not
// listed; a song too large to be one is neither copied nor listed).
std::string copySong(SongListRun& run, int artistFolder, const char* artist, const char* name, const char* title,
                     std::string& shownName, bool& listed);

}  // namespace sorvil
