// On Windows a read past a cut in a mapped file raises an exception that
// only a vectored handler could turn into zeros: the file is read whole into
// memory instead, which keeps every promise of the mapping (a file cut short
// reads as zeros past its end, and says so) at the cost of reading all of it.
#include "platform/guarded_mapping.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/runtime.h"
#include "platform/windows/system.h"

namespace sorvil {

int GuardedMapping::map(int handle, size_t size) {
    release();
    auto* image = static_cast<uint8_t*>(std::malloc(size));
    if (!image) {
        errno = ENOMEM;
        return -1;
    }
    const long long held = runtime::readAt(handle, 0, reinterpret_cast<char*>(image), size);
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
