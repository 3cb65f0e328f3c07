// A folder's entries in the order the run takes them.
#pragma once

#include <string>
#include <vector>

#include "app/song_list_run.h"

namespace sorvil {

// The callback of an enumeration: the entry's name, its attributes (FA_DIREC
// for a folder, FA_ARCH for a plain file: not a pipe or device) and the
// enumeration's parameter. Non-zero ends it.
using EntryCallback = int (*)(const char* name, int attributes, void* parameter);

// Hands the entries of the open folder to `callback` in name order (letter
// case first ignored, then byte by byte, so the order does not depend on the
// disk's), names byte for byte as the disk holds them, with FA_DIREC for a
// folder. An entry whose kind cannot be found is said (into `messages`, or at
// once when null) and marks the run incomplete unless it is hidden or, in the
// folder the run started in, named as the music folder: it may be a song or
// a folder the run walks, and is never left out without a word. False (errno
// set) when the folder cannot be read.
bool forEachEntryInOrder(SongListRun& run, int folder, const std::string& folderShown, bool isStartFolder,
                         EntryCallback callback, void* parameter, std::vector<std::string>* messages);

}  // namespace sorvil
