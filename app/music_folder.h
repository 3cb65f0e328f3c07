// The folder the copies go to: "music" in any letter case, inside the
// folder the run started in.
#pragma once

#include "app/song_list_run.h"

namespace sorvil {

// Finds or creates the music folder and opens it into the options; false
// (said on the console) when there cannot be one the copies can go to.
bool prepareMusicFolder(RunOptions& options);

// Copies into a folder that is scanned as an artist, or lies inside one,
// would be taken for that artist's songs or replace them: true (said) when
// the music folder is one of the run's artists or inside one.
bool musicFolderIsInsideAnArtist(const SongListRun& run);

}  // namespace sorvil
