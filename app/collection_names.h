// Which names of a collection are songs, which are hidden, which is the
// music folder.
#pragma once

namespace sorvil {

// Names starting with '.' (".", ".." included) are hidden on this platform.
inline bool isHidden(const char* name) { return name[0] == '.'; }
// A name ending in ".mp3" in any letter case.
bool hasSongExtension(const char* name);
// "music" in any letter case: the output folder's name, never an artist.
bool isMusicFolderName(const char* name);

}  // namespace sorvil
