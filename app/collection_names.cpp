#include "app/collection_names.h"

#include <allegro.h>

#include <cctype>
#include <cstring>

namespace sorvil {

bool hasSongExtension(const char* name) {
    const size_t length = std::strlen(name);
    if (length < 4) return false;
    const char* extension = name + length - 4;
    static const char wanted[] = ".mp3";
    for (int i = 0; i < 4; ++i)
        if (std::tolower(static_cast<unsigned char>(extension[i])) != wanted[i]) return false;
    return true;
}

bool isMusicFolderName(const char* name) {
    // The length first: the folding comparison reads an overlong NUL as the end.
    return std::strlen(name) == 5 && ustricmp(name, "music") == 0;
}

}  // namespace sorvil
