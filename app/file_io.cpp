// File copy through the kernel or a buffer that shrinks when memory is short,
// and loading a whole file as a read-only mapping.
#include "app/file_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "app/console.h"
#include "mp3stream/mp3stream.h"
#include "platform/runtime.h"

namespace sorvil {

const uint8_t* fileImage = nullptr;
bool loadReadFailed = false;
const int kCurrentFolder = AT_FDCWD;

namespace {

constexpr int LARGEST_COPY_BUFFER = 16384;
constexpr int SMALLEST_COPY_BUFFER = 128;
// The largest file loaded whole. Songs are a few megabytes, and this holds
// over seven hours at the highest bitrate (320 kbit/s). Anything larger is
// refused before it is mapped, which also keeps every size inside the int
// the load reports.
constexpr uint64_t LARGEST_IMAGE = uint64_t(1) << 30;
// What a measurement reads: the first frame must start this far into the
// audio data, and the frame it probes and the one after it may reach past.
constexpr size_t MEASURED_WINDOW = 28672 + 2 * 4096;
constexpr size_t ID3V1_SIZE = 128;
constexpr size_t ID3V2_HEADER_SIZE = 10;
// What prefetchSong asks for at a song's start: the window after a tag of
// up to about 28 KB. A larger tag (cover art) is read when the song's turn
// comes, as any song's would be.
constexpr off_t PREFETCHED_HEAD = 65536;

size_t imageLength = 0;

// The guard against a file cut short while it is mapped. Reading a mapped
// page that lies past the file's new end raises SIGBUS. The handler maps
// zeros from that page to the image's end and lets the read go on: the probe
// then sees zeros, as it could in any damaged song, and ends as it always
// does, so no decoder state or allocation is abandoned halfway (a jump out
// of the probe would leave the decoder's process-wide state mid-frame). The
// loader's caller asks fileImageWasCut afterwards and throws the result away.
// Read once, before any handler can run: sysconf is not safe in a handler.
const uintptr_t PAGE_SIZE_BYTES = uintptr_t(sysconf(_SC_PAGESIZE));

uintptr_t pageStart(const void* address) { return reinterpret_cast<uintptr_t>(address) & ~(PAGE_SIZE_BYTES - 1); }

std::atomic<uintptr_t> guardedStart{0};
std::atomic<size_t> guardedLength{0};
volatile sig_atomic_t imageCut = 0;

void onBusError(int signalNumber, siginfo_t* info, void*) {
    const int savedErrno = errno;
    const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
    const uintptr_t start = guardedStart.load();
    const size_t length = guardedLength.load();
    if (start != 0 && at >= start && at - start < length) {
        const uintptr_t page = pageStart(info->si_addr);
        void* zeros = mmap(reinterpret_cast<void*>(page), start + length - page, PROT_READ,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            imageCut = 1;
            errno = savedErrno;
            return;
        }
    }
    // Not a read of the image: the fault happens again on return and ends the
    // process as it would have without this handler.
    signal(signalNumber, SIG_DFL);
    errno = savedErrno;
}

bool guardInstalled() {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        return sigaction(SIGBUS, &action, nullptr) == 0;
    }();
    return installed;
}

// Tells the kernel which pages a measurement reads: without it, every fault
// on a mapping reads ahead far past what is used. The advice is only advice:
// a failure changes no result, so it is not reported.
void adviseMeasuredRanges(const uint8_t* image, size_t length) {
    auto advise = [image, length](size_t from, size_t count, int advice) {
        if (from >= length) return;
        const uintptr_t start = pageStart(image + from);
        const uintptr_t end = reinterpret_cast<uintptr_t>(image) + std::min(length, from + count);
        madvise(reinterpret_cast<void*>(start), end - start, advice);
    };
    advise(0, length, MADV_RANDOM);
    advise(0, ID3V2_HEADER_SIZE, MADV_WILLNEED);
    const size_t tag = length >= ID3V2_HEADER_SIZE ? size_t(id3v2Size(image)) : 0;
    advise(tag, MEASURED_WINDOW, MADV_WILLNEED);
    advise(length - std::min(length, ID3V1_SIZE), ID3V1_SIZE, MADV_WILLNEED);
}

// During a frame walk of the mapped song: the pages behind the walk are
// dropped from the process (they are the file's, unchanged, and come back
// from it if read again), and the next stretch is asked for at once.
[[maybe_unused]] void followWalk(const uint8_t* passed, const uint8_t* at) {
    if (!fileImage || passed < fileImage || at > fileImage + imageLength) return;
    const uintptr_t dropFrom = pageStart(passed + PAGE_SIZE_BYTES - 1);
    const uintptr_t dropTo = pageStart(at);
    if (dropTo > dropFrom) madvise(reinterpret_cast<void*>(dropFrom), dropTo - dropFrom, MADV_DONTNEED);
    const size_t offset = size_t(at - fileImage);
    const size_t ahead = std::min(imageLength - offset, size_t(2 * kWalkStride));
    if (ahead > 0) madvise(reinterpret_cast<void*>(dropTo), reinterpret_cast<uintptr_t>(at) + ahead - dropTo, MADV_WILLNEED);
}

void closeKeepingErrno(int handle) {
    const int error = errno;
    close(handle);
    errno = error;
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

enum class KernelCopy { Copied, Failed, Refused };

// The kernel refuses some pairs of files outright (other file systems on old
// kernels, pipes, special files); then, and only before any byte moved, the
// buffer loop takes over.
KernelCopy copyThroughKernel(int sourceHandle, int targetHandle) {
    bool started = false;
    for (;;) {
        ssize_t moved = copy_file_range(sourceHandle, nullptr, targetHandle, nullptr, size_t(1) << 30, 0);
        if (moved > 0) {
            started = true;
            continue;
        }
        if (moved == 0) return KernelCopy::Copied;
        if (errno == EINTR) continue;
        const bool refused = errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                             errno == EBADF || errno == ETXTBSY;
        return refused && !started ? KernelCopy::Refused : KernelCopy::Failed;
    }
}

int copyThroughBuffer(int sourceHandle, int targetHandle) {
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

// The copy is written as a new file beside the target and renamed onto it
// when complete: whatever the target is (a hard or symbolic link to some
// other file), that file is never written into, and no half-written copy
// ever carries the target's name.
bool copyIntoReplacement(int sourceHandle, const struct stat& source, int targetFolder, const char* target) {
    const std::string partial = replacementName(target);
    unlinkat(targetFolder, partial.c_str(), 0);  // left by an interrupted run
    int handle = openat(targetFolder, partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (handle < 0) return false;
    // The source's times mark the copy as up to date for the next run.
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    bool copied = copyFileData(sourceHandle, handle) == 0 && futimens(handle, times) == 0;
    if (close(handle) != 0) copied = false;
    if (copied && renameat(targetFolder, partial.c_str(), targetFolder, target) == 0) return true;
    unlinkat(targetFolder, partial.c_str(), 0);
    return false;
}

}  // namespace

std::string replacementName(const std::string& path) {
    size_t slash = path.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, nameStart) + "." + path.substr(nameStart) + ".partial";
}

int copyFile(int sourceFolder, const char* source, int targetFolder, const char* target) {
    // Not blocking: a pipe's open would wait for a writer. A pipe or device
    // is no song (a device might never end) and is not copied.
    int sourceHandle = openat(sourceFolder, source, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    bool copied = false;
    struct stat from {}, existing {};
    if (sourceHandle >= 0 && fstat(sourceHandle, &from) == 0 && S_ISREG(from.st_mode)) {
        // A target that is the source itself (a link to it) already holds the copy.
        if (fstatat(targetFolder, target, &existing, 0) == 0 && sameFile(from, existing)) {
            close(sourceHandle);
            return 0;
        }
        copied = copyIntoReplacement(sourceHandle, from, targetFolder, target);
    }
    if (sourceHandle >= 0) closeKeepingErrno(sourceHandle);
    if (copied) return 0;
    // The song list names this copy: an earlier run's file under its name
    // would be another song.
    const int error = errno;
    unlinkat(targetFolder, target, 0);
    errno = error;
    return -1;
}

int copyFile(const char* source, const char* target) { return copyFile(kCurrentFolder, source, kCurrentFolder, target); }

int copyFileData(int sourceHandle, int targetHandle) {
    switch (copyThroughKernel(sourceHandle, targetHandle)) {
        case KernelCopy::Copied: return 0;
        case KernelCopy::Failed: return -1;
        case KernelCopy::Refused: break;
    }
    return copyThroughBuffer(sourceHandle, targetHandle);
}

bool copyIsCurrent(int sourceFolder, const char* source, int targetFolder, const char* target) {
    struct stat from {}, copy {};
    if (fstatat(sourceFolder, source, &from, 0) != 0 || fstatat(targetFolder, target, &copy, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    return S_ISREG(from.st_mode) && S_ISREG(copy.st_mode) && copy.st_nlink == 1 && !sameFile(from, copy) &&
           copy.st_size == from.st_size && copy.st_mtim.tv_sec == from.st_mtim.tv_sec &&
           copy.st_mtim.tv_nsec == from.st_mtim.tv_nsec;
}

void prefetchSong(int folder, const char* name) {
    int handle = openat(folder, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) return;  // the song's own load says why
    // Advice only: a failure changes no result, so it is not reported.
    struct stat info {};
    if (fstat(handle, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        posix_fadvise(handle, 0, PREFETCHED_HEAD, POSIX_FADV_WILLNEED);
        posix_fadvise(handle, std::max<off_t>(0, info.st_size - off_t(ID3V1_SIZE)), ID3V1_SIZE, POSIX_FADV_WILLNEED);
    }
    close(handle);
}

int loadWholeFile(int folder, const char* name) {
    releaseFileImage();
    loadReadFailed = true;
    imageCut = 0;
    // Not blocking: a pipe's open would wait for a writer.
    int handle = openat(folder, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) return -1;
    struct stat info {};
    if (fstat(handle, &info) != 0) {
        closeKeepingErrno(handle);
        return -1;
    }
    const uint64_t size = info.st_size;
    if (!S_ISREG(info.st_mode) || size == 0 || size > LARGEST_IMAGE) {
        close(handle);
        if (size > LARGEST_IMAGE)
            consoleLine("ERROR: Cannot load a file of %llu bytes (the limit is %llu)",
                        static_cast<unsigned long long>(size), static_cast<unsigned long long>(LARGEST_IMAGE));
        loadReadFailed = false;
        return -1;
    }
    void* mapped = guardInstalled() ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, handle, 0) : MAP_FAILED;
    const bool closed = close(handle) == 0;
    if (mapped == MAP_FAILED) return -1;
    fileImage = static_cast<const uint8_t*>(mapped);
    imageLength = size;
    guardedLength.store(size);
    guardedStart.store(reinterpret_cast<uintptr_t>(mapped));
    if (!closed) {
        releaseFileImage();
        return -1;
    }
    adviseMeasuredRanges(fileImage, size);
    loadReadFailed = false;
    return static_cast<int>(size);
}

int loadWholeFile(const char* name) { return loadWholeFile(kCurrentFolder, name); }

bool fileImageWasCut() { return imageCut != 0; }

void releaseFileImage() {
    if (!fileImage) return;
    guardedStart.store(0);
    guardedLength.store(0);
    munmap(const_cast<uint8_t*>(fileImage), imageLength);
    fileImage = nullptr;
    imageLength = 0;
}

}  // namespace sorvil
