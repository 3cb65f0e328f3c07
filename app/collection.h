// The collection as the run finds it before it copies or measures anything:
// every artist with its songs in the order they are taken, so that a song's
// number is known before any copy is written.
#pragma once

#include <string>
#include <vector>

#include "app/song_list_run.h"

namespace sorvil {

struct FoundSong {
    // The folder it lies in inside its artist's folder, '/'-separated: "" for
    // the artist's own songs, "album a/CD2" for one in an album.
    std::string folder;
    std::string name;  // the file's name in that folder
    // False for a pipe or device named like a song: it is never opened (a
    // pipe's writer would be let go, a device read without end).
    bool isPlainFile = true;

    // The song's path inside its artist's folder: what names it from there.
    std::string path() const { return folder.empty() ? name : folder + "/" + name; }
};

struct FoundArtist {
    std::string name;  // the artist folder's name
    // What could not be used while the artist's folders were listed: said
    // when the artist's turn comes, so the console reads as if each artist
    // were listed just before its songs.
    std::vector<std::string> messages;
    // Its own songs first, then each sub-folder whole (its songs, then its
    // sub-folders), folders in the order artists are taken.
    std::vector<FoundSong> songs;
};

// The deepest album walked, in folders below its artist's: a folder deeper
// than this is said and skipped, like one that cannot be entered.
constexpr int kDeepestAlbum = 4096;

// The songs of every artist of run.artistList, at any depth of its folder up
// to kDeepestAlbum.
// Hidden folders are not walked, nor the music folder, another artist's
// folder or a folder walked before (each song is listed once, whatever links
// lead to it); a link back to a folder on the way there is a loop and cannot
// be used. A folder or entry that cannot be used (a loop, too deep, no
// descriptor left to open it) is kept as a message and marks the run
// incomplete; memory running out stops the run.
std::vector<FoundArtist> gatherCollection(SongListRun& run);

}  // namespace sorvil
