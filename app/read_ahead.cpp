#include "app/read_ahead.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace sorvil {

namespace {

// What a measurement reads: the search window, and the frame it probes and
// the one after it, which may reach past it.
constexpr size_t kMeasuredWindow = kSearchWindowBytes + 2 * 4096;
// What prefetchSong asks for at a song's start: the window after a tag of up
// to about 28 KB. A larger tag (cover art) is read when the song's turn
// comes, as any song's would be.
constexpr off_t kPrefetchedHead = 65536;

void followWalk(const uint8_t* passed, const uint8_t* at, void* context) {
    const auto& image = *static_cast<const GuardedMapping*>(context);
    if (!image.data() || passed < image.data() || at > image.data() + image.size()) return;
    const size_t from = size_t(passed - image.data());
    const size_t to = size_t(at - image.data());
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t dropFrom = (from + page - 1) / page * page;
    const size_t dropTo = to / page * page;
    if (dropTo > dropFrom) image.advise(dropFrom, dropTo - dropFrom, MADV_DONTNEED);
    image.advise(to, size_t(2 * kWalkStride), MADV_WILLNEED);
}

}  // namespace

void adviseMeasuredRanges(const GuardedMapping& image) {
    const size_t length = image.size();
    image.advise(0, length, MADV_RANDOM);
    image.advise(0, kId3v2HeaderBytes, MADV_WILLNEED);
    const size_t tag = length >= size_t(kId3v2HeaderBytes) ? size_t(id3v2Size(image.data())) : 0;
    image.advise(tag, kMeasuredWindow, MADV_WILLNEED);
    image.advise(length - std::min(length, size_t(kId3v1Bytes)), kId3v1Bytes, MADV_WILLNEED);
}

void prefetchSong(int folder, const char* name) {
    const int handle = openat(folder, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) return;  // the song's own load says why
    struct stat info {};
    if (fstat(handle, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        posix_fadvise(handle, 0, kPrefetchedHead, POSIX_FADV_WILLNEED);
        posix_fadvise(handle, std::max<off_t>(0, info.st_size - off_t(kId3v1Bytes)), kId3v1Bytes, POSIX_FADV_WILLNEED);
    }
    close(handle);
}

WalkProgress walkFollower(const GuardedMapping& image) {
    return WalkProgress{followWalk, const_cast<GuardedMapping*>(&image)};
}

}  // namespace sorvil
