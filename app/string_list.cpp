#include "app/string_list.h"

#include <cstdlib>
#include <cstring>

#include "platform/runtime.h"

namespace sorvil {

namespace {

intptr_t* blockOf(StringList list) { return reinterpret_cast<intptr_t*>(list) - 1; }
StringList listOf(intptr_t* block) { return reinterpret_cast<StringList>(block + 1); }

// Bytes of a list block holding the count and `elements` pointers.
size_t blockBytes(intptr_t elements) { return sizeof(intptr_t) * static_cast<size_t>(elements + 1); }

}  // namespace

StringList stringListNew() {
    auto* block = static_cast<intptr_t*>(std::malloc(blockBytes(1)));
    if (!block) return nullptr;
    block[0] = 0;
    return listOf(block);
}

StringList stringListAppend(StringList list, const char* text) {
    if (!list) return nullptr;
    size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(std::malloc(size));
    if (!copy) return nullptr;
    std::memcpy(copy, text, size);
    intptr_t count = stringListCount(list);
    auto* block = static_cast<intptr_t*>(std::realloc(blockOf(list), blockBytes(count + 1)));
    if (!block) {
        std::free(copy);
        return nullptr;
    }
    block[0] = count + 1;
    list = listOf(block);
    list[count] = copy;
    return list;
}

void stringListFree(StringList list) {
    if (!list) return;
    intptr_t count = stringListCount(list);
    for (intptr_t i = 0; i < count; ++i) std::free(list[i]);
    std::free(blockOf(list));
}

int writeStringListTo(StringList list, std::FILE* file, int mode) {
    intptr_t count = stringListCount(list);
    for (intptr_t i = 0; i < count; ++i) {
        if (mode == WRITE_QUOTED && std::fputc('"', file) == EOF) return -1;
        if (std::fputs(list[i], file) == EOF) return -1;
        bool failed = false;
        if (mode == WRITE_LINES) {
            failed = std::fputc('\n', file) == EOF;
        } else if (mode == WRITE_QUOTED) {
            failed = std::fputc('"', file) == EOF || (i + 1 < count && std::fputc(',', file) == EOF);
        } else {
            failed = std::fputc('\0', file) == EOF;
        }
        if (failed) return -1;
    }
    return 0;
}

int writeStringList(StringList list, const char* path, int mode) {
    static const char* const openModes[] = {"wb", "wt", "wt"};
    if (mode < WRITE_NUL_TERMINATED || mode > WRITE_QUOTED) return -1;
    std::FILE* file = runtime::fopen(path, openModes[mode]);
    if (!file) return -1;
    bool failed = writeStringListTo(list, file, mode) != 0;
    // The close flushes what is still buffered, so its failure is a failed write too.
    if (std::fclose(file) != 0) failed = true;
    return failed ? -1 : 0;
}

}  // namespace sorvil
