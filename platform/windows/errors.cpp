// The one place where the system's error codes become errno values.
#include <cerrno>

#include "platform/windows/system.h"

namespace sorvil::windows {

int errnoFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_PATHNAME:
        case ERROR_DELETE_PENDING: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
        case ERROR_CANT_RESOLVE_FILENAME:
        // Another program (a player, an antivirus, the indexer) holds the
        // file: the system itself answers some of these as ERROR_ACCESS_DENIED
        // (a rename onto an open file), and the C library's words for EBUSY
        // ("Resource device") would say nothing to a user.
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE: return EACCES;
        case ERROR_BUSY: return EBUSY;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
        case ERROR_DIRECTORY: return ENOTDIR;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_WRITE_PROTECT: return EROFS;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_INVALID_HANDLE: return EBADF;
        case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_NOT_SAME_DEVICE: return EXDEV;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA: return EPIPE;
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_PARAMETER: return EINVAL;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION:
        case ERROR_CALL_NOT_IMPLEMENTED: return ENOSYS;
        case ERROR_NOT_LOCKED: return ENOLCK;
        case ERROR_FILE_TOO_LARGE: return EFBIG;
        default: return EIO;
    }
}

int failWithLastError() {
    errno = errnoFor(GetLastError());
    return -1;
}

bool failedWithLastError() {
    failWithLastError();
    return false;
}

}  // namespace sorvil::windows
