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

int loadWholeFile(GuardedMapping& image, int folder, const char* name, uint64_t* refusedSize) {
    image.release();
    const runtime::OpenedFile file = runtime::openForReading(folder, name);
    const int handle = file.handle;
    if (handle < 0) return -1;
    const uint64_t size = file.size;
    if (!file.isPlain || size == 0 || size > kLargestSong) {
        if (size > kLargestSong && refusedSize) *refusedSize = size;
        return closeAndFail(handle, 0);
    }
    const bool mapped = image.map(handle, size) == 0;
    const int error = errno;
    if (runtime::closeFile(handle) != 0 || !mapped) {
        image.release();
        if (!mapped) errno = error;
        return -1;
    }
    return static_cast<int>(size);
}

SongMeasurement measureFile(GuardedMapping& image, int folder, const char* name, bool plainFile, SongDigest* digest,
                            bool* digested) {
    SongMeasurement measurement;
    if (digested) *digested = false;
    errno = 0;
    const int size = plainFile ? loadWholeFile(image, folder, name, &measurement.refusedSize) : -1;
    if (size <= 0) {
        measurement.error = errno;
        return measurement;
    }
    measurement.loaded = true;
    adviseMeasuredRanges(image, digest != nullptr);
    if (digest) *digest = digestOfBytes(image.data(), image.size());
    const WalkProgress follower = walkFollower(image);
    if (Mp3Stream* stream = mp3StreamCreate(image.data(), size, &follower)) {
        measurement.seconds = mp3StreamLengthSeconds(stream);
        measurement.streamMade = true;
        mp3StreamDestroy(stream);
    }
    measurement.cut = image.wasCut();
    if (digested) *digested = digest && !measurement.cut;
    image.release();
    return measurement;
}

int reportMeasurement(SongListRun& run, const SongMeasurement& measurement, const std::string& shownName) {
    const std::string shown = printable(shownName);
    if (measurement.refusedSize > 0)
        consoleLine("ERROR: Cannot load a file of %llu bytes (the limit is %llu)",
                    static_cast<unsigned long long>(measurement.refusedSize),
                    static_cast<unsigned long long>(kLargestSong));
    if (!measurement.loaded) {
        if (measurement.error != 0) ++run.tally.failures;
        consoleLine("ERROR: Cannot load MP3 file %s%s", shown.c_str(), reasonOf(measurement.error).c_str());
        return 0;
    }
    if (measurement.cut) {
        // The file shrank while it was read: whatever was measured is not it.
        consoleLine("ERROR: Cannot load MP3 file %s", shown.c_str());
        ++run.tally.failures;
        return 0;
    }
    if (!measurement.streamMade) consoleLine("ERROR: Cannot create MP3 %s", shown.c_str());
    return measurement.seconds;
}

int measureSong(SongListRun& run, int folder, const char* name, const std::string& shownName, bool plainFile) {
    return reportMeasurement(run, measureFile(run.fileImage, folder, name, plainFile), shownName);
}

}  // namespace sorvil
