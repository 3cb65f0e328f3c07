#include "app/file_io.h"

namespace sorvil {

uint8_t* fileImage = nullptr;

int copyFile(const char*, const char*) { return -1; }  // TODO
int copyFileData(int, int) { return -1; }  // TODO
int loadWholeFile(const char*) { return -1; }  // TODO

}  // namespace sorvil
