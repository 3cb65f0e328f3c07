#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace sorvil::runtime {

int lockFolder(int folder, int& handle) {
    handle = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) return -1;
    int locked;
    while ((locked = ::flock(handle, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    return locked;
}

bool lockingUnsupported(int error) {
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
}

}  // namespace sorvil::runtime
