// StringList: a counted array of heap strings handled through a pointer to
// element 0; the count lives in the machine word just before it.
#pragma once

#include <cstdint>
#include <cstdio>

struct PACKFILE;

namespace sorvil {

using StringList = char**;

enum WriteMode { WRITE_NUL_TERMINATED = 0, WRITE_LINES = 1, WRITE_QUOTED = 2 };

inline intptr_t stringListCount(StringList list) { return reinterpret_cast<intptr_t*>(list)[-1]; }

StringList stringListNew();
StringList stringListAppend(StringList list, const char* text);
void stringListFree(StringList list);
int writeStringList(StringList list, const char* path, int mode);
// Writes the elements as writeStringList does into a stream opened in the
// mode's text or binary form; the caller flushes and closes it.
int writeStringListTo(StringList list, std::FILE* file, int mode);
// Datafile loader for "TEXT" objects: one element per line.
StringList loadTextObject(PACKFILE* packedFile, long size);
// Registers the "TEXT" object type with the library's datafile loader, with
// loadTextObject to load and stringListFree to destroy.
void registerTextObjectType();

}  // namespace sorvil
