#include "app/scan.h"

namespace sorvil {

int noCopy = 0;
StringList masterList = nullptr;
StringList artistList = nullptr;
StringList songList = nullptr;
int songNumber = 0;
int songSeconds = 0;

void scanArtists() {}  // TODO
int onArtistEntry(const char*, int, void*) { return 0; }  // TODO
int onSongEntry(const char*, int, void*) { return 0; }  // TODO

}  // namespace sorvil
