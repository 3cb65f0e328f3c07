#include "platform/replacement_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace sorvil {

namespace {

// The folder's own entry is on the disk only once the folder is flushed.
int flushFolder(int folder) {
    const int handle = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) return -1;
    const bool flushed = fsync(handle) == 0;
    const int error = errno;
    if (close(handle) != 0 || !flushed) {
        if (!flushed) errno = error;
        return -1;
    }
    return 0;
}

}  // namespace

int ReplacementFile::create(int folder, const char* name) {
    abandon();
    folder_ = folder;
    name_ = name;
    temporary_ = replacementName(name);
    replaced_ = false;
    unlinkat(folder_, temporary_.c_str(), 0);  // left by an interrupted run; a missing one is the rule
    handle_ = openat(folder_, temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return handle_ < 0 ? -1 : 0;
}

int ReplacementFile::commit(bool durable) {
    if (handle_ < 0) {
        errno = EBADF;
        return -1;
    }
    bool ready = !durable || fsync(handle_) == 0;
    int error = errno;
    if (close(handle_) != 0 && ready) {
        ready = false;
        error = errno;
    }
    handle_ = -1;
    if (!ready || renameat(folder_, temporary_.c_str(), folder_, name_.c_str()) != 0) {
        if (ready) error = errno;
        abandon();
        errno = error;
        return -1;
    }
    replaced_ = true;
    temporary_.clear();
    return durable ? flushFolder(folder_) : 0;
}

void ReplacementFile::abandon() {
    const int error = errno;
    if (handle_ >= 0) close(handle_);
    handle_ = -1;
    if (!temporary_.empty()) unlinkat(folder_, temporary_.c_str(), 0);
    temporary_.clear();
    errno = error;
}

}  // namespace sorvil
