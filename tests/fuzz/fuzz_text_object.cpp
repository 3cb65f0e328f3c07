// Wraps arbitrary bytes as one "TEXT" object of a datafile, loads it through
// the library's datafile loader and checks the list it gives.
#include <allegro.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/string_list.h"

namespace {

void putBig32(std::string& out, uint32_t v) {
    out.push_back(char(v >> 24));
    out.push_back(char(v >> 16));
    out.push_back(char(v >> 8));
    out.push_back(char(v));
}

void* loadText(PACKFILE* f, long size) { return sorvil::loadTextObject(f, size); }
void destroyText(void* data) { sorvil::stringListFree(static_cast<sorvil::StringList>(data)); }

// A file with no name left behind, however the run ends: the loader opens it
// again through /proc. Ends the run when there is none to be had.
int openUnnamedFile() {
    char name[] = "/tmp/sorvil-fuzz-text-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0 || unlink(name) != 0) {
        std::perror("sorvil-fuzz-text: cannot make its temporary file");
        std::exit(1);
    }
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool registered = false;
    static int fd = -1;
    static std::string path;
    if (!registered) {
        register_datafile_object(DAT_ID('T', 'E', 'X', 'T'), loadText, destroyText);
        fd = openUnnamedFile();
        path = "/proc/self/fd/" + std::to_string(fd);
        registered = true;
    }
    std::string file = "slh.ALL.";
    putBig32(file, 1);
    putBig32(file, DAT_ID('T', 'E', 'X', 'T'));
    putBig32(file, uint32_t(size));
    putBig32(file, uint32_t(size));
    file.append(reinterpret_cast<const char*>(data), size);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, file.data(), file.size(), 0) != ssize_t(file.size())) return 0;

    DATAFILE* loaded = load_datafile(path.c_str());
    if (loaded) {
        auto list = static_cast<sorvil::StringList>(loaded[0].dat);
        intptr_t count = list ? sorvil::stringListCount(list) : 0;
        size_t characters = 0;
        for (intptr_t i = 0; i < count; ++i)
            if (list[i]) characters += std::strlen(list[i]);
        if (characters > size) __builtin_trap();
        unload_datafile(loaded);
    }
    return 0;
}
