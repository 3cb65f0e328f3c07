#include "platform/file_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/replacement_file.h"
#include "platform/runtime.h"

namespace sorvil {

const int kCurrentFolder = AT_FDCWD;

namespace {

constexpr int LARGEST_COPY_BUFFER = 16384;
constexpr int SMALLEST_COPY_BUFFER = 128;

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
    char* buffer = static_cast<char*>(std::malloc(bufferSize));
    while (!buffer && bufferSize > SMALLEST_COPY_BUFFER) {
        bufferSize /= 2;
        buffer = static_cast<char*>(std::malloc(bufferSize));
    }
    if (!buffer) return -1;
    for (;;) {
        const ssize_t got = read(sourceHandle, buffer, size_t(bufferSize));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || !runtime::writeAll(targetHandle, buffer, size_t(got))) {
            const int error = errno;
            std::free(buffer);
            errno = error;
            return got == 0 ? 0 : -1;
        }
    }
}

int copyIntoReplacement(int sourceHandle, const struct stat& source, int targetFolder, const char* target,
                        const char* temporary) {
    ReplacementFile copy;
    if ((temporary ? copy.createAs(targetFolder, target, temporary) : copy.create(targetFolder, target)) != 0)
        return -1;
    // The source's times mark the copy as up to date for the next run.
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (copyFileData(sourceHandle, copy.handle()) != 0 || futimens(copy.handle(), times) != 0) return -1;
    return copy.commit(false);
}

}  // namespace

int copyFile(int sourceFolder, const char* source, int targetFolder, const char* target, const char* temporary) {
    // Not blocking: a pipe's open would wait for a writer.
    const int sourceHandle = openat(sourceFolder, source, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int result = -1;
    struct stat from {}, existing {};
    if (sourceHandle >= 0 && fstat(sourceHandle, &from) == 0) {
        if (!S_ISREG(from.st_mode)) {
            errno = EINVAL;
        } else if (fstatat(targetFolder, target, &existing, 0) == 0 && sameFile(from, existing)) {
            result = 0;  // the target is the source itself (a link to it): it holds the copy
        } else {
            result = copyIntoReplacement(sourceHandle, from, targetFolder, target, temporary);
        }
    }
    if (sourceHandle >= 0) closeKeepingErrno(sourceHandle);
    if (result == 0) return 0;
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

}  // namespace sorvil
