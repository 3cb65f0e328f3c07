// A song's copy in the music folder under its number's 8.3 name.
#pragma once

#include <string>

#include "app/collection.h"
#include "app/song_list_run.h"

namespace sorvil {

// Copies beyond song9999.mp3 keep the same pattern, which no longer fits 8.3.
constexpr int kFirstLongNumber = 10000;

// Makes sure the song's copy holds it, as the run's plan says: kept, already
// moved to its number, or copied anew from `songFolder`, where it lies.
// Gives the record's start; `listed` says whether its copy holds it (a failed
// copy is said, marks the run incomplete and is not listed; a song too large
// to be one is neither copied nor listed; a pipe or device named like a song
// fails without being opened). `planned`: the song's entry in the plan,
// none when it was not there when the plan was made.
std::string copySong(SongListRun& run, int songFolder, const char* artist, const FoundSong& song, const char* title,
                     bool& listed, const PlannedCopy*& planned);

}  // namespace sorvil
