// File copy with a shrinking buffer, and whole-file loading into fileImage.
#pragma once

#include <cstdint>

namespace sorvil {

extern uint8_t* fileImage;

int copyFile(const char* source, const char* target);
int copyFileData(int sourceHandle, int targetHandle);
int loadWholeFile(const char* name);

}  // namespace sorvil
