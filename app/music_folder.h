// The folder the copies go to: "music" in any letter case, inside the
// folder the run started in.
#pragma once

#include "app/song_list_run.h"

namespace sorvil {

// Finds or creates the music folder and opens it into the options; false
// (said on the console) when there cannot be one the copies can go to.
bool prepareMusicFolder(RunOptions& options);

// Folders of the run that must not be one another, true (said) when they
// are: copies into the folder the run started in, into an artist or into a
// folder inside one would be taken for songs or replace them, and an artist
// that is the folder the run started in (or holds it) would be the whole
// collection. Either would grow the list on every run.
bool collectionFoldersOverlap(const SongListRun& run);

}  // namespace sorvil
