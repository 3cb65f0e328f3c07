// The "TEXT" datafile object loader: the object's text as a StringList, one
// element per line.
#include <allegro.h>

#include <cstdlib>

#include "app/string_list.h"

namespace sorvil {

namespace {

constexpr int LINE_FEED = 10;
constexpr int CARRIAGE_RETURN = 13;

void* loadTextData(PACKFILE* packedFile, long size) { return loadTextObject(packedFile, size); }
void destroyTextData(void* data) { stringListFree(static_cast<StringList>(data)); }

// Grows a line buffer to `size` bytes; on failure frees it and gives null.
char* growLine(char* line, size_t size) {
    char* grown = static_cast<char*>(std::realloc(line, size));
    if (!grown) std::free(line);
    return grown;
}

// Reads one line, its buffer starting at one byte and growing by one byte per
// byte read. `atEnd` is set when the object's last byte has been delivered;
// `gotByte` tells whether the line read anything at all (only an empty object
// gives none). Returns the terminated line, or null when its buffer could not
// be had (the line is still read to its end, so the next line starts after it).
char* readLine(PACKFILE* packedFile, bool& atEnd, bool& gotByte) {
    char* line = static_cast<char*>(std::malloc(1));
    size_t used = 0;
    for (;;) {
        int byte = pack_getc(packedFile);
        if (byte == EOF) {
            atEnd = true;
            break;
        }
        gotByte = true;
        atEnd = pack_feof(packedFile) != 0;
        char stored = static_cast<char>(byte);
        if (byte == LINE_FEED) {
            stored = '\0';
            if (line && used > 0 && line[used - 1] == CARRIAGE_RETURN) line[used - 1] = '\0';
        }
        if (line) line[used] = stored;
        ++used;
        if (stored == '\0' || atEnd) break;
        if (line) line = growLine(line, used + 1);
    }
    // A last line without a line end is kept whole.
    if (line && (used == 0 || line[used - 1] != '\0')) {
        line = growLine(line, used + 1);
        if (line) line[used] = '\0';
    }
    return line;
}

}  // namespace

StringList loadTextObject(PACKFILE* packedFile, long /*size*/) {
    // An empty object loads as an empty list: a null result would make the
    // datafile loader abort the process.
    auto* block = static_cast<intptr_t*>(std::malloc(sizeof(intptr_t)));
    if (!block) return nullptr;
    block[0] = 0;
    bool atEnd = pack_feof(packedFile) != 0;
    intptr_t count = 0;
    while (!atEnd) {
        auto* grown = static_cast<intptr_t*>(std::realloc(block, sizeof(intptr_t) * static_cast<size_t>(count + 2)));
        if (!grown) {
            for (intptr_t i = 1; i <= count; ++i) std::free(reinterpret_cast<char*>(block[i]));
            std::free(block);
            return nullptr;
        }
        block = grown;
        bool gotByte = false;
        char* line = readLine(packedFile, atEnd, gotByte);
        if (!gotByte) {
            std::free(line);
            break;
        }
        block[++count] = reinterpret_cast<intptr_t>(line);
    }
    block[0] = count;
    return reinterpret_cast<StringList>(block + 1);
}

void registerTextObjectType() { register_datafile_object(DAT_ID('T', 'E', 'X', 'T'), loadTextData, destroyTextData); }

}  // namespace sorvil
