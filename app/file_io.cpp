// File copy through a buffer that shrinks when memory is short, and loading a
// whole file into the program-wide image.
#include "app/file_io.h"

#include <allegro.h>

#include <cstdio>
#include <cstdlib>

#include "app/console.h"
#include "platform/runtime.h"

namespace sorvil {

uint8_t* fileImage = nullptr;
bool loadReadFailed = false;

namespace {

constexpr int LARGEST_COPY_BUFFER = 16384;
constexpr int SMALLEST_COPY_BUFFER = 128;
// The largest file loaded whole. Songs are a few megabytes, and this holds
// over seven hours at the highest bitrate (320 kbit/s). Anything larger is
// refused before memory is taken for it, which also keeps every size inside
// the int the load reports.
constexpr uint64_t LARGEST_IMAGE = uint64_t(1) << 30;

}  // namespace

std::string replacementName(const std::string& path) {
    size_t slash = path.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, nameStart) + "." + path.substr(nameStart) + ".partial";
}

int copyFile(const char* source, const char* target) {
    using namespace runtime;
    // A pipe would block the open, a device would never end.
    if (!isRegularFile(source)) return -1;
    // A target that is the source itself (a link to it) already holds the
    // copy; replacing it would be a needless copy of the song onto itself.
    if (isSameFile(source, target)) return 0;
    int sourceHandle = _open(source, OPEN_READ_ONLY | OPEN_BINARY);
    if (sourceHandle < 0) return -1;
    // The copy is written as a new file beside the target and renamed onto it
    // when complete: whatever the target is (a hard or symbolic link to some
    // other file), that file is never written into, and no half-written copy
    // ever carries the target's name.
    std::string partial = replacementName(target);
    runtime::remove(partial.c_str());  // left by an interrupted run
    int partialHandle = _open(partial.c_str(), OPEN_READ_WRITE | OPEN_BINARY | OPEN_CREATE | OPEN_EXCLUSIVE,
                              PERMISSION_READ | PERMISSION_WRITE);
    if (partialHandle < 0) {
        _close(sourceHandle);
        return -1;
    }
    bool copied = copyFileData(sourceHandle, partialHandle) == 0;
    if (_close(partialHandle) != 0) copied = false;
    _close(sourceHandle);
    if (copied && runtime::rename(partial.c_str(), target) == 0) return 0;
    runtime::remove(partial.c_str());
    // The song list names this copy: an earlier run's file under its name
    // would be another song.
    runtime::remove(target);
    return -1;
}

int copyFileData(int sourceHandle, int targetHandle) {
    int bufferSize = LARGEST_COPY_BUFFER;
    void* buffer = std::malloc(bufferSize);
    while (!buffer && bufferSize > SMALLEST_COPY_BUFFER) {
        bufferSize /= 2;
        buffer = std::malloc(bufferSize);
    }
    if (!buffer) return -1;
    for (;;) {
        int got = runtime::_read(sourceHandle, buffer, bufferSize);
        if (got <= 0) {
            std::free(buffer);
            return got == 0 ? 0 : -1;
        }
        if (runtime::_write(targetHandle, buffer, got) != got) {
            std::free(buffer);
            return -1;
        }
    }
}

int loadWholeFile(const char* name) {
    std::free(fileImage);
    fileImage = nullptr;
    loadReadFailed = true;
    uint64_t size = file_size_ex(name);
    if (size == 0) {
        // The size of a missing file is 0 too, and it is a failed read.
        loadReadFailed = !file_exists(name, FA_ALL, nullptr);
        return -1;
    }
    if (size > LARGEST_IMAGE) {
        consoleLine("ERROR: Cannot load a file of %llu bytes (the limit is %llu)", static_cast<unsigned long long>(size),
                    static_cast<unsigned long long>(LARGEST_IMAGE));
        loadReadFailed = false;
        return -1;
    }
    int length = static_cast<int>(size);
    fileImage = static_cast<uint8_t*>(std::malloc(size + 1));
    if (!fileImage) {
        consoleLine("ERROR: Cannot allocate buffer of %d bytes", length + 1);
        return -1;
    }
    PACKFILE* packedFile = pack_fopen(name, F_READ);
    if (!packedFile) return -1;
    long got = pack_fread(fileImage, length, packedFile);
    pack_fclose(packedFile);
    // The image must hold the whole file: a short read is a failed load.
    if (got != length) {
        std::free(fileImage);
        fileImage = nullptr;
        return -1;
    }
    loadReadFailed = false;
    return length;
}

}  // namespace sorvil
