// The collection as the run finds it before it copies or measures anything:
// every artist with its songs in the order they are taken, so that a song's
// number is known before any copy is written.
#pragma once

#include <string>
#include <vector>

#include "app/song_list_run.h"

namespace sorvil {

struct FoundSong {
    std::string name;  // the file's name in its artist's folder
    // False for a pipe or device named like a song: it is never opened (a
    // pipe's writer would be let go, a device read without end).
    bool isPlainFile = true;
};

struct FoundArtist {
    std::string name;  // the artist folder's name
    // What could not be used while the artist's folder was listed: said
    // when the artist's turn comes, so the console reads as if each artist
    // were listed just before its songs.
    std::vector<std::string> messages;
    std::vector<FoundSong> songs;
};

// The songs of every artist of run.artistList. A folder or entry that cannot
// be used is kept as a message and marks the run incomplete; memory running
// out stops the run.
std::vector<FoundArtist> gatherCollection(SongListRun& run);

}  // namespace sorvil
