#include "support/system.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <malloc.h>
#include <windows.h>
#else
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace sorvil::test {

#ifdef _WIN32

size_t pageSize() {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.dwPageSize;
}

uint8_t* mapPages(size_t bytes) {
    return static_cast<uint8_t*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

bool forbidPages(uint8_t* at, size_t bytes) {
    DWORD before = 0;
    return VirtualProtect(at, bytes, PAGE_NOACCESS, &before) != 0;
}

void unmapPages(uint8_t* at, size_t) { VirtualFree(at, 0, MEM_RELEASE); }

size_t usableSize(void* block) { return _msize(block); }

#else

size_t pageSize() { return size_t(sysconf(_SC_PAGESIZE)); }

uint8_t* mapPages(size_t bytes) {
    void* mapping = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return mapping == MAP_FAILED ? nullptr : static_cast<uint8_t*>(mapping);
}

bool forbidPages(uint8_t* at, size_t bytes) { return mprotect(at, bytes, PROT_NONE) == 0; }

void unmapPages(uint8_t* at, size_t bytes) { munmap(at, bytes); }

size_t usableSize(void* block) { return malloc_usable_size(block); }

#endif

}  // namespace sorvil::test
