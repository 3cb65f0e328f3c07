// The artist and song scan: the body of the run.
#pragma once

#include "app/string_list.h"

namespace sorvil {

extern int noCopy;
extern StringList masterList;
extern StringList artistList;
extern StringList songList;
extern int songNumber;
extern int songSeconds;

void scanArtists();
int onArtistEntry(const char* name, int attributes, void* parameter);
int onSongEntry(const char* name, int attributes, void* parameter);

}  // namespace sorvil
