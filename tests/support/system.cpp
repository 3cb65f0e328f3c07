#include "support/system.h"

#include <filesystem>
#include <stdexcept>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <malloc.h>
#include <windows.h>

#include <random>
#else
#include <dirent.h>
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

int openHandleCount() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return int(count);
}

// There is no mkdtemp: a random name, taken only when nothing holds it yet.
std::string makeTemporaryFolder() {
    namespace fs = std::filesystem;
    std::mt19937_64 random(std::random_device{}() ^ GetCurrentProcessId() ^ GetTickCount64());
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path folder = base / ("sorvil-test-" + std::to_string(random() % 1000000000));
        std::error_code error;
        if (fs::create_directory(folder, error)) return folder.string();
    }
    throw std::runtime_error("cannot make a temporary folder");
}

#else

size_t pageSize() { return size_t(sysconf(_SC_PAGESIZE)); }

uint8_t* mapPages(size_t bytes) {
    void* mapping = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return mapping == MAP_FAILED ? nullptr : static_cast<uint8_t*>(mapping);
}

bool forbidPages(uint8_t* at, size_t bytes) { return mprotect(at, bytes, PROT_NONE) == 0; }

void unmapPages(uint8_t* at, size_t bytes) { munmap(at, bytes); }

size_t usableSize(void* block) { return malloc_usable_size(block); }

int openHandleCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

std::string makeTemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sorvil-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

#endif

}  // namespace sorvil::test
