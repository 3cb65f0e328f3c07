// File copy with a shrinking buffer, and whole-file loading into fileImage.
#pragma once

#include <cstdint>
#include <string>

namespace sorvil {

extern uint8_t* fileImage;
// True after a loadWholeFile that could not read its file (missing,
// unreadable, an I/O error, memory short); false after one that succeeded or
// found the file empty or too large to be a song, which is the file's own
// nature and no failure of the run.
extern bool loadReadFailed;

// The temporary name beside `path` under which its replacement is written
// before it is renamed into place.
std::string replacementName(const std::string& path);

int copyFile(const char* source, const char* target);
int copyFileData(int sourceHandle, int targetHandle);
int loadWholeFile(const char* name);

}  // namespace sorvil
