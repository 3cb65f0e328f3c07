#include "app/collection_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/console.h"
#include "platform/folder_lock.h"

namespace sorvil {

bool lockCollection(RunOptions& options, const char* shownFolder) {
    if (runtime::lockFolder(options.startFolder, options.lockHandle) == 0) return true;
    const bool cannotLock = options.lockHandle >= 0 && runtime::lockingUnsupported(errno);
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
