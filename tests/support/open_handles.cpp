#include "support/open_handles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#endif

namespace sorvil::test {

#ifdef _WIN32
int openHandleCount() {
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? int(count) : -1;
}
#else
int openHandleCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}
#endif

}  // namespace sorvil::test
