#include "app/collection_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/console.h"

namespace sorvil {

bool lockCollection(RunOptions& options, const char* shownFolder) {
    // The start folder's own descriptor is a path descriptor, which takes no lock.
    options.lockHandle = openat(options.startFolder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int locked = -1;
    if (options.lockHandle >= 0)
        while ((locked = flock(options.lockHandle, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
        }
    if (locked == 0) return true;
    const bool cannotLock = options.lockHandle >= 0 && (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS ||
                                                        errno == EINVAL);
    if (cannotLock) {
        consoleLine("NOTE: this folder cannot be locked (%s); a second run started meanwhile could disturb this one",
                    std::strerror(errno));
        return true;
    }
    if (errno == EWOULDBLOCK)
        std::fprintf(stderr, "sorvil: another run of sorvil is working in '%s'; try again once it has ended\n",
                     printable(shownFolder).c_str());
    else
        std::fprintf(stderr, "sorvil: cannot lock '%s': %s\n", printable(shownFolder).c_str(), std::strerror(errno));
    return false;
}

}  // namespace sorvil
