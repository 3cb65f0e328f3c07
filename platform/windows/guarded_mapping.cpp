// On Windows a read past a cut in a mapped file raises an exception that
// only a vectored handler could turn into zeros: the file is read whole into
// memory instead, which keeps every promise of the mapping (a file cut short
// reads as zeros past its end, and says so) at the cost of reading all of it.
#include "platform/guarded_mapping.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/windows/system.h"

namespace sorvil {

using namespace sorvil::windows;

namespace {

// The bytes of `file` from its start into `image`, up to `size`; how many
// it held, or -1 with errno set.
int64_t readFrom(HANDLE file, uint8_t* image, size_t size) {
    size_t done = 0;
    while (done < size) {
        OVERLAPPED at{};
        at.Offset = DWORD(done);
        at.OffsetHigh = DWORD(uint64_t(done) >> 32);
        DWORD got = 0;
        if (!ReadFile(file, image + done, DWORD(std::min<size_t>(size - done, 1u << 30)), &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return failWithLastError();
        }
        if (got == 0) break;
        done += got;
    }
    return int64_t(done);
}

}  // namespace

int GuardedMapping::map(int handle, size_t size) {
    release();
    const HANDLE file = systemHandle(handle);
    if (file == INVALID_HANDLE_VALUE) return -1;
    auto* image = static_cast<uint8_t*>(std::malloc(size));
    if (!image) {
        errno = ENOMEM;
        return -1;
    }
    const int64_t held = readFrom(file, image, size);
    if (held < 0) {
        const int error = errno;
        std::free(image);
        errno = error;
        return -1;
    }
    cut_ = size_t(held) < size;
    std::memset(image + held, 0, size - size_t(held));
    data_ = image;
    size_ = size;
    return 0;
}

void GuardedMapping::release() {
    std::free(const_cast<uint8_t*>(data_));
    data_ = nullptr;
    size_ = 0;
    cut_ = false;
}

bool GuardedMapping::wasCut() const { return cut_; }

// The image is the process's own memory: advice has nothing to change.
void GuardedMapping::advise(size_t, size_t, Advice) const {}

size_t GuardedMapping::pageBytes() {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    return system.dwPageSize;
}

}  // namespace sorvil
