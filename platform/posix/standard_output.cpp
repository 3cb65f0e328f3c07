#include "platform/standard_output.h"

#include <sys/stat.h>
#include <unistd.h>

namespace sorvil::runtime {

// POSIX streams have no text mode.
bool makeStandardOutputBinary() { return true; }

bool identityOfStandardOutput(FileIdentity& identity) {
    struct stat info {};
    if (::fstat(STDOUT_FILENO, &info) != 0) return false;
    identity = {info.st_dev, info.st_ino};
    return true;
}

}  // namespace sorvil::runtime
