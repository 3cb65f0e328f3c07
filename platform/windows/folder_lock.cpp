// Windows locks byte ranges of files, not folders (and Wine refuses even to
// try on a folder's handle): the run locks a file of its own in the folder,
// `.sorvil-lock`, made hidden and left there, so that a later run takes the
// lock on the same file. A run that ends however it ends drops the lock
// with its handle.
#include "platform/folder_lock.h"

#include <cerrno>

#include "platform/windows/system.h"

namespace sorvil::runtime {

using namespace sorvil::windows;

namespace {

const char kLockFileName[] = ".sorvil-lock";

// No one may remove or rename the file while it is open: the next run must
// find this one's lock on it. A file that cannot be written (a read-only
// card, a read-only lock file) locks when opened for reading.
HANDLE openLockFile(const std::wstring& path) {
    constexpr DWORD kShared = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShared, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN, nullptr);
    const DWORD error = GetLastError();
    if (file == INVALID_HANDLE_VALUE && (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT))
        file = CreateFileW(path.c_str(), GENERIC_READ, kShared, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) failWithLastError();
    return file;
}

}  // namespace

int lockFolder(int folder, int& handle) {
    handle = -1;
    std::wstring path;
    if (!pathIn(folder, kLockFileName, path)) return -1;
    const HANDLE file = openLockFile(path);
    // No lock file, and none can be made: nothing can be written in the
    // folder, so there is nothing to guard, and the run fails where it first
    // writes (the list), as it does on any system.
    if (file == INVALID_HANDLE_VALUE) return errno == ENOENT ? 0 : -1;
    handle = addOpen(file, path, false);
    OVERLAPPED whole{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) return 0;
    const DWORD error = GetLastError();
    errno = error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? EWOULDBLOCK : errnoFor(error);
    return -1;
}

bool lockingUnsupported(int error) { return error == ENOLCK || error == ENOSYS || error == EINVAL; }

}  // namespace sorvil::runtime
