// The artist and song scan: the body of the run.
#pragma once

#include "app/song_list_run.h"

namespace sorvil {

// Finds the artist folders, and for every song at any depth in them copies
// it (copy mode), measures it, prints its time and adds its record to the
// run's master list. False (said on the console) when the starting folder
// cannot be listed or its folders overlap (collectionFoldersOverlap): there
// is then nothing to write over the old song list. The run's `stopped` says
// whether it could not go on.
bool scanArtists(SongListRun& run);

// What the listing of the folder the run started in finds beside the
// artists: songs, which have no artist.
struct ArtistListing {
    SongListRun* run;
    int songsOutside;
};

// The enumeration callbacks; `parameter` is the ArtistListing (artists) or
// the folder's songs and sub-folders being gathered (songs).
int onArtistEntry(const char* name, int attributes, void* parameter);
int onSongEntry(const char* name, int attributes, void* parameter);

}  // namespace sorvil
