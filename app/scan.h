// The artist and song scan: the body of the run.
#pragma once

#include <string>

#include "app/string_list.h"

namespace sorvil {

extern int noCopy;
extern StringList masterList;
extern StringList artistList;
extern StringList songList;
extern int songNumber;
extern int songSeconds;
// The output folder in the starting folder: "music" in some letter case.
extern std::string musicFolder;
// True once a song could not be copied, read or listed, or an artist folder
// could not be entered or read: the run still writes songlist.ini and then
// ends with exit status 1.
extern bool runIncomplete;

// "music" in any letter case: the output folder's name, never an artist.
bool isMusicFolderName(const char* name);

void scanArtists();
int onArtistEntry(const char* name, int attributes, void* parameter);
int onSongEntry(const char* name, int attributes, void* parameter);

}  // namespace sorvil
