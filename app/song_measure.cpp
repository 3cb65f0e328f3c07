#include "app/song_measure.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "app/console.h"
#include "app/read_ahead.h"
#include "mp3stream/mp3stream.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

int closeAndFail(int handle, int error) {
    runtime::closeFile(handle);
    errno = error;
    return -1;
}

// ": reason" for a failed call; nothing for a file that is simply no song.
std::string reasonOf(int error) { return error != 0 ? std::string(": ") + std::strerror(error) : std::string(); }

}  // namespace

int loadWholeFile(GuardedMapping& image, int folder, const char* name) {
    image.release();
    const runtime::OpenedFile file = runtime::openForReading(folder, name);
    const int handle = file.handle;
    if (handle < 0) return -1;
    const uint64_t size = file.size;
    if (!file.isPlain || size == 0 || size > kLargestSong) {
        if (size > kLargestSong)
            consoleLine("ERROR: Cannot load a file of %llu bytes (the limit is %llu)",
                        static_cast<unsigned long long>(size), static_cast<unsigned long long>(kLargestSong));
        return closeAndFail(handle, 0);
    }
    const bool mapped = image.map(handle, size) == 0;
    const int error = errno;
    if (runtime::closeFile(handle) != 0 || !mapped) {
        image.release();
        if (!mapped) errno = error;
        return -1;
    }
    adviseMeasuredRanges(image);
    return static_cast<int>(size);
}

int measureSong(SongListRun& run, int folder, const char* name, const std::string& shownName, bool plainFile) {
    int seconds = 0;
    GuardedMapping& image = run.fileImage;
    errno = 0;
    const int size = plainFile ? loadWholeFile(image, folder, name) : -1;
    if (size <= 0) {
        const int error = errno;
        if (error != 0) ++run.tally.failures;
        consoleLine("ERROR: Cannot load MP3 file %s%s", printable(shownName).c_str(), reasonOf(error).c_str());
    } else {
        const WalkProgress follower = walkFollower(image);
        if (Mp3Stream* stream = mp3StreamCreate(image.data(), size, &follower)) {
            seconds = mp3StreamLengthSeconds(stream);
            mp3StreamDestroy(stream);
        } else if (!image.wasCut()) {
            consoleLine("ERROR: Cannot create MP3 %s", printable(shownName).c_str());
        }
    }
    if (image.wasCut()) {
        // The file shrank while it was read: whatever was measured is not it.
        consoleLine("ERROR: Cannot load MP3 file %s", printable(shownName).c_str());
        ++run.tally.failures;
        seconds = 0;
    }
    image.release();
    return seconds;
}

}  // namespace sorvil
