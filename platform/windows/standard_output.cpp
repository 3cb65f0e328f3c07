#include "platform/standard_output.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>

namespace sorvil::runtime {

bool makeStandardOutputBinary() { return ::_setmode(::_fileno(stdout), _O_BINARY) != -1; }

// The volume serial and file index, as for any other file.
bool identityOfStandardOutput(FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == INVALID_HANDLE_VALUE || output == nullptr || ::GetFileType(output) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(output, &info)) {
        errno = EBADF;
        return false;
    }
    identity = {info.dwVolumeSerialNumber, uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    return true;
}

}  // namespace sorvil::runtime
