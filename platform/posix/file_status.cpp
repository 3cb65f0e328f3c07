#include "platform/file_status.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// FAT, exFAT, or any FUSE driver (which may be either); true too when the
// file system cannot be asked.
bool mayBeFat(int handle) {
    struct statfs info {};
    if (::fstatfs(handle, &info) != 0) return true;
    const long type = long(info.f_type);
    return type == MSDOS_SUPER_MAGIC || type == FUSE_MAGIC || type == EXFAT_MAGIC;
}

bool mayBeFat(int folder, const char* name) {
    if (!*name) return mayBeFat(folder);
    const int handle = ::openat(folder, name, O_PATH | O_CLOEXEC);
    const bool fat = handle < 0 || mayBeFat(handle);
    if (handle >= 0) ::close(handle);  // a path descriptor: nothing to lose
    return fat;
}

}  // namespace

int freshLinkStatusOf(int folder, const char* name, FileStatus& status) {
    struct statx info {};
    const unsigned wanted = STATX_TYPE | STATX_NLINK | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME;
    if (::statx(folder, name, AT_SYMLINK_NOFOLLOW | AT_STATX_FORCE_SYNC, wanted, &info) != 0) return -1;
    status = {uint64_t(makedev(info.stx_dev_major, info.stx_dev_minor)), info.stx_ino, info.stx_size,
              info.stx_nlink, info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec, info.stx_ctime.tv_sec,
              info.stx_ctime.tv_nsec, S_ISREG(info.stx_mode), S_ISDIR(info.stx_mode)};
    return 0;
}

int statusOf(int folder, const char* name, FileStatus& status) { return statusAt(folder, name, 0, status); }

int linkStatusOf(int folder, const char* name, FileStatus& status) {
    return statusAt(folder, name, AT_SYMLINK_NOFOLLOW, status);
}

bool keepsInodeNumbers(int folder, const char* name) { return !mayBeFat(folder, name); }

bool asksAheadInVain(int folder, const char* name) {
    const int handle = *name ? ::openat(folder, name, O_PATH | O_CLOEXEC) : folder;
    struct statfs info {};
    const bool fuse = handle >= 0 && ::fstatfs(handle, &info) == 0 && long(info.f_type) == FUSE_MAGIC;
    if (handle >= 0 && handle != folder) ::close(handle);  // a path descriptor: nothing to lose
    return fuse;
}

int64_t timeResolution(int folder, const char* name) { return mayBeFat(folder, name) ? 2000000000 : 1; }

}  // namespace sorvil::runtime
