#include "platform/replacement_file.h"

#include <cerrno>

#include "platform/runtime.h"
#include "platform/windows/system.h"

namespace sorvil {

using namespace sorvil::windows;

namespace {

void removeQuietly(int folder, const std::string& name) {
    std::wstring path;
    const int error = errno;
    if (pathIn(folder, name.c_str(), path)) DeleteFileW(path.c_str());
    errno = error;
}

}  // namespace

int ReplacementFile::create(int folder, const char* name) {
    abandon();
    folder_ = folder;
    name_ = name;
    temporary_ = replacementName(name);
    replaced_ = false;
    std::wstring path;
    if (!pathIn(folder_, temporary_.c_str(), path)) return -1;
    DeleteFileW(path.c_str());  // left by an interrupted run; a missing one is the rule
    // CREATE_NEW: never through a link or over a file another run just made.
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return failWithLastError();
    handle_ = addOpen(file, path, false);
    return 0;
}

// The rename is written through (see renameFile), so on the disk when it
// returns: there is no folder to flush after it.
int ReplacementFile::commit(bool durable) {
    if (handle_ < 0) {
        errno = EBADF;
        return -1;
    }
    bool ready = !durable || FlushFileBuffers(systemHandle(handle_)) || failedWithLastError();
    int error = errno;
    if (closeOpen(handle_) != 0 && ready) {
        ready = false;
        error = errno;
    }
    handle_ = -1;
    if (ready && runtime::renameFile(folder_, temporary_.c_str(), name_.c_str()) != 0) {
        ready = false;
        error = errno;
    }
    if (!ready) {
        abandon();
        errno = error;
        return -1;
    }
    replaced_ = true;
    temporary_.clear();
    return 0;
}

void ReplacementFile::abandon() {
    const int error = errno;
    if (handle_ >= 0) closeOpen(handle_);
    handle_ = -1;
    if (!temporary_.empty()) removeQuietly(folder_, temporary_);
    temporary_.clear();
    errno = error;
}

}  // namespace sorvil
