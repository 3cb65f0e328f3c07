// The artist and song scan: the body of the run.
#pragma once

#include <string>
#include <unordered_set>

#include "app/string_list.h"

namespace sorvil {

// What the command line and the start of the run decided, handed down to the
// scan. Every file the run writes is written through these descriptors, never
// through a path relative to the process's current folder.
struct RunOptions {
    bool noCopy = false;
    int startFolder = -1;   // the folder the run started in
    int musicFolder = -1;   // the folder copies go to (copy mode)
    std::string musicName;  // its name in the starting folder: "music" in some letter case
    // The "artist|title|file|" starts of the song list found at the start of
    // the run: a copy that was listed as this same song may be kept.
    std::unordered_set<std::string> earlierCopies;
};

extern StringList masterList;
extern StringList artistList;
extern StringList songList;
extern int songNumber;
extern int songSeconds;
// True once a song could not be copied, read or listed, or an artist folder
// or entry could not be entered, read or examined: the run still writes
// songlist.ini and then ends with exit status 1.
extern bool runIncomplete;

// "music" in any letter case: the output folder's name, never an artist.
bool isMusicFolderName(const char* name);

// False (reported) when the starting folder cannot be listed: there is then
// nothing to write over the old song list.
bool scanArtists(const RunOptions& options);
int onArtistEntry(const char* name, int attributes, void* parameter);
int onSongEntry(const char* name, int attributes, void* parameter);

}  // namespace sorvil
