#include "platform/file_status.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace sorvil::runtime {

namespace {

// FUSE reports whatever its driver makes up (the FAT one: one number for all).
constexpr long FUSE_MAGIC = 0x65735546;
constexpr long EXFAT_MAGIC = 0x2011BAB0;

int statusAt(int folder, const char* name, int flags, FileStatus& status) {
    struct stat info {};
    if (::fstatat(folder, name, &info, flags) != 0) return -1;
    status = {uint64_t(info.st_dev), uint64_t(info.st_ino), uint64_t(info.st_size), uint64_t(info.st_nlink),
              info.st_mtim.tv_sec,   info.st_mtim.tv_nsec,  info.st_ctim.tv_sec,    info.st_ctim.tv_nsec,
              S_ISREG(info.st_mode), S_ISDIR(info.st_mode)};
    return 0;
}

bool keepsInodeNumbers(int handle) {
    struct statfs info {};
    if (::fstatfs(handle, &info) != 0) return false;
    const long type = long(info.f_type);
    return type != MSDOS_SUPER_MAGIC && type != FUSE_MAGIC && type != EXFAT_MAGIC;
}

}  // namespace

int statusOf(int folder, const char* name, FileStatus& status) { return statusAt(folder, name, 0, status); }

int linkStatusOf(int folder, const char* name, FileStatus& status) {
    return statusAt(folder, name, AT_SYMLINK_NOFOLLOW, status);
}

bool keepsInodeNumbers(int folder, const char* name) {
    if (!*name) return keepsInodeNumbers(folder);
    const int handle = ::openat(folder, name, O_PATH | O_CLOEXEC);
    const bool keeps = handle >= 0 && keepsInodeNumbers(handle);
    if (handle >= 0) ::close(handle);  // a path descriptor: nothing to lose
    return keeps;
}

}  // namespace sorvil::runtime
