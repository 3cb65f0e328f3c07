// File copy through a buffer that shrinks when memory is short, and loading a
// whole file into the program-wide image.
#include "app/file_io.h"

#include <allegro.h>

#include <cstdio>
#include <cstdlib>

#include "platform/runtime.h"

namespace sorvil {

uint8_t* fileImage = nullptr;

namespace {

constexpr int LARGEST_COPY_BUFFER = 16384;
constexpr int SMALLEST_COPY_BUFFER = 128;
// The largest file loaded whole. Songs are a few megabytes, and this holds
// over seven hours at the highest bitrate (320 kbit/s). Anything larger is
// refused before memory is taken for it, which also keeps every size inside
// the int the load reports.
constexpr uint64_t LARGEST_IMAGE = uint64_t(1) << 30;

}  // namespace

int copyFile(const char* source, const char* target) {
    using namespace runtime;
    // A pipe would block the open, a device would never end.
    if (!isRegularFile(source)) return -1;
    // A target that is the source itself (a link to it) already holds the
    // copy; opening it for writing would empty the song.
    if (isSameFile(source, target)) return 0;
    // A link in the target's place is replaced by the copy, never written
    // through: the file it points at is not this program's to overwrite.
    if (isSymbolicLink(target)) runtime::remove(target);
    int sourceHandle = _open(source, OPEN_READ_ONLY | OPEN_BINARY);
    if (sourceHandle < 0) return -1;
    int targetHandle = _open(target, OPEN_READ_WRITE | OPEN_BINARY | OPEN_CREATE | OPEN_TRUNCATE,
                             PERMISSION_READ | PERMISSION_WRITE);
    if (targetHandle < 0) {
        _close(sourceHandle);
        return -1;
    }
    if (copyFileData(sourceHandle, targetHandle) == 0) {
        int targetClosed = _close(targetHandle);
        _close(sourceHandle);
        if (targetClosed == 0) return 0;
        runtime::remove(target);
        return -1;
    }
    // No half-written copy is left behind.
    _close(targetHandle);
    runtime::remove(target);
    _close(sourceHandle);
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
    uint64_t size = file_size_ex(name);
    if (size == 0) return -1;
    if (size > LARGEST_IMAGE) {
        char message[96];
        std::snprintf(message, sizeof message, "ERROR: Cannot load a file of %llu bytes (the limit is %llu)",
                      static_cast<unsigned long long>(size), static_cast<unsigned long long>(LARGEST_IMAGE));
        allegro_message("%s", message);
        return -1;
    }
    int length = static_cast<int>(size);
    fileImage = static_cast<uint8_t*>(std::malloc(size + 1));
    if (!fileImage) {
        allegro_message("ERROR: Cannot allocate buffer of %d bytes", length + 1);
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
    return length;
}

}  // namespace sorvil
