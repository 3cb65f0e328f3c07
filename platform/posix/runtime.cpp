#include "platform/runtime.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sorvil::runtime {

bool isRegularFile(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool isFolder(const char* path) {
    struct stat info {};
    if (::stat(path, &info) != 0) return false;
    if (S_ISDIR(info.st_mode)) return true;
    errno = ENOTDIR;
    return false;
}

namespace {

// Walks up by "..", so links are resolved, until the folder `top` (when
// given) or the root (its own parent). True when the walk ended at either.
bool walkUp(int folder, const struct stat* top, std::vector<FileIdentity>& passed) {
    struct stat info {};
    int current = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    bool reached = false;
    while (current >= 0 && ::fstat(current, &info) == 0) {
        if (top && info.st_dev == top->st_dev && info.st_ino == top->st_ino) {
            reached = true;
            break;
        }
        const FileIdentity here{info.st_dev, info.st_ino};
        if (std::find(passed.begin(), passed.end(), here) != passed.end()) {  // the root is its own parent
            reached = !top;
            break;
        }
        passed.push_back(here);
        int parent = openFolder(current, "..");
        ::close(current);
        current = parent;
    }
    if (current >= 0) ::close(current);
    return reached;
}

}  // namespace

bool foldersUpTo(int folder, int top, std::vector<FileIdentity>& passed) {
    struct stat topInfo {};
    return ::fstat(top, &topInfo) == 0 && walkUp(folder, &topInfo, passed);
}

bool foldersUpToTheRoot(int folder, std::vector<FileIdentity>& passed) { return walkUp(folder, nullptr, passed); }

void closeFolder(int folder) { ::close(folder); }

bool canEnter(int folder, const char* path) { return ::faccessat(folder, path, X_OK, AT_EACCESS) == 0; }

bool identityOf(int folder, const char* name, FileIdentity& identity) {
    struct stat info {};
    if (::fstatat(folder, name, &info, *name ? 0 : AT_EMPTY_PATH) != 0) return false;
    identity = {info.st_dev, info.st_ino};
    return true;
}

bool exists(int folder, const char* name) {
    struct stat info {};
    return ::fstatat(folder, name, &info, 0) == 0;
}

int makeFolder(int folder, const char* name) { return ::mkdirat(folder, name, 0777); }

OpenedFile openForReading(int folder, const char* name) {
    OpenedFile file{::openat(folder, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC), false, 0};
    struct stat info {};
    if (file.handle >= 0 && ::fstat(file.handle, &info) != 0) {
        const int error = errno;
        ::close(file.handle);
        file.handle = -1;
        errno = error;
    }
    if (file.handle >= 0) {
        file.isPlain = S_ISREG(info.st_mode);
        file.size = uint64_t(info.st_size);
    }
    return file;
}

int closeFile(int handle) { return ::close(handle); }

long long readAt(int handle, uint64_t offset, char* buffer, size_t count) {
    size_t got = 0;
    while (got < count) {
        const ssize_t read = ::pread(handle, buffer + got, count - got, off_t(offset + got));
        if (read < 0 && errno == EINTR) continue;
        if (read < 0) return -1;
        if (read == 0) break;
        got += size_t(read);
    }
    return (long long)got;
}

namespace {

// `name` opened for advice only, and only when it is a plain file: a pipe's
// open would let its writer go. -1 for anything else.
int openForAdvice(int folder, const char* name, uint64_t& size) {
    struct stat info {};
    if (::fstatat(folder, name, &info, 0) != 0 || !S_ISREG(info.st_mode)) return -1;
    size = uint64_t(info.st_size);
    return ::openat(folder, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

}  // namespace

void askAhead(int folder, const char* name, uint64_t head, uint64_t tail) {
    uint64_t size = 0;
    const int handle = openForAdvice(folder, name, size);
    if (handle < 0) return;  // the file's own load says why
    if (size > 0) {
        ::posix_fadvise(handle, 0, off_t(head), POSIX_FADV_WILLNEED);
        ::posix_fadvise(handle, off_t(size - std::min(size, tail)), off_t(tail), POSIX_FADV_WILLNEED);
    }
    ::close(handle);  // read only: nothing can be lost by its close
}

void askAheadWhole(int folder, const char* name) {
    uint64_t size = 0;
    const int handle = openForAdvice(folder, name, size);
    if (handle < 0) return;
    ::posix_fadvise(handle, 0, 0, POSIX_FADV_WILLNEED);  // a length of 0 reaches the end
    ::close(handle);  // read only: nothing can be lost by its close
}

namespace {

// To the end of the open file; 0, or -1 with errno set (EFBIG past `largest`).
int readToEnd(int handle, uint64_t largest, std::string& text) {
    char block[65536];
    ssize_t got;
    while ((got = ::read(handle, block, sizeof block)) > 0 && text.size() <= largest) text.append(block, size_t(got));
    if (got > 0) errno = EFBIG;  // it grew while it was read
    return got == 0 ? 0 : -1;
}

int readWholeFile(int handle, uint64_t largest, std::string& text) {
    struct stat info {};
    if (::fstat(handle, &info) != 0) return -1;
    if (S_ISREG(info.st_mode) && uint64_t(info.st_size) <= largest) return readToEnd(handle, largest, text);
    errno = S_ISREG(info.st_mode) ? EFBIG : EINVAL;
    return -1;
}

}  // namespace

int readSmallFile(int folder, const char* name, uint64_t largest, std::string& text) {
    text.clear();
    const int handle = ::openat(folder, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) return -1;
    const int result = readWholeFile(handle, largest, text);
    // The file was there: ENOENT (which a FUSE driver may give) would say it is not.
    const int error = result != 0 && errno == ENOENT ? EIO : errno;
    ::close(handle);  // read only: nothing can be lost by its close
    errno = error;
    return result;
}

int renameFile(int folder, const char* from, const char* to) { return ::renameat(folder, from, folder, to); }

int renameWithoutReplacing(int folder, const char* from, const char* to) {
    if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return -1;
    const int claim = ::openat(folder, to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (claim < 0) return -1;
    if (::close(claim) == 0 && ::renameat(folder, from, folder, to) == 0) return 0;
    const int error = errno;
    ::unlinkat(folder, to, 0);  // the empty file claimed above, nothing else
    errno = error;
    return -1;
}

int removeFile(int folder, const char* name) { return ::unlinkat(folder, name, 0); }

int removeEmptyFolder(int folder, const char* name) { return ::unlinkat(folder, name, AT_REMOVEDIR); }

int flushFileSystem(int folder) {
    const int handle = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);  // a path descriptor flushes nothing
    if (handle < 0) return -1;
    const bool flushed = ::syncfs(handle) == 0;
    const int error = errno;
    ::close(handle);  // read only: nothing can be lost by its close
    errno = error;
    return flushed ? 0 : -1;
}

void ignoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }  // fails only for a signal that does not exist

void useUtf8Console() {}  // a terminal shows the bytes as they come

int openFolder(int folder, const char* path) { return ::openat(folder, path, O_PATH | O_DIRECTORY | O_CLOEXEC); }

int listFolder(int folder, std::vector<FolderEntry>& entries) {
    // A descriptor of its own for reading: `folder` may be a place only.
    int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0) return -1;
    DIR* stream = ::fdopendir(listed);
    if (!stream) {
        int error = errno;
        ::close(listed);
        errno = error;
        return -1;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(stream)) {
        struct stat info {};
        if (::fstatat(folder, entry->d_name, &info, 0) == 0)
            entries.push_back({entry->d_name, S_ISDIR(info.st_mode), S_ISREG(info.st_mode), 0});
        else if (errno != ENOENT)
            entries.push_back({entry->d_name, false, false, errno});
        errno = 0;
    }
    int error = errno;
    ::closedir(stream);
    errno = error;
    return error == 0 ? 0 : -1;
}

int listNames(int folder, std::vector<std::string>& names) {
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* stream = listed < 0 ? nullptr : ::fdopendir(listed);
    if (!stream) {
        const int error = errno;
        if (listed >= 0) ::close(listed);
        errno = error;
        return -1;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(stream)) names.push_back(entry->d_name);
    const int error = errno;
    ::closedir(stream);
    errno = error;
    return error == 0 ? 0 : -1;
}

bool writeAll(int handle, const char* bytes, size_t count) {
    while (count > 0) {
        ssize_t put = ::write(handle, bytes, count);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += put;
        count -= static_cast<size_t>(put);
    }
    return true;
}

namespace {

ssize_t writeText(void* cookie, const char* bytes, size_t count) {
    int handle = static_cast<int>(reinterpret_cast<intptr_t>(cookie));
    char translated[2 * 1024];
    size_t used = 0;
    for (size_t i = 0; i < count; ++i) {
        if (used + 2 > sizeof translated) {
            if (!writeAll(handle, translated, used)) return -1;
            used = 0;
        }
        if (bytes[i] == '\n') translated[used++] = '\r';
        translated[used++] = bytes[i];
    }
    if (!writeAll(handle, translated, used)) return -1;
    return static_cast<ssize_t>(count);
}

int closeText(void* cookie) { return ::close(static_cast<int>(reinterpret_cast<intptr_t>(cookie))); }

std::FILE* textStream(int handle, bool closesHandle) {
    cookie_io_functions_t functions{};
    functions.write = writeText;
    if (closesHandle) functions.close = closeText;
    std::FILE* file = ::fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(handle)), "w", functions);
    if (!file && closesHandle) {
        int error = errno;
        ::close(handle);
        errno = error;
    }
    return file;
}

std::FILE* openTextForWriting(const char* path, bool append) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    int handle = ::open(path, flags, 0666);
    return handle < 0 ? nullptr : textStream(handle, true);
}

}  // namespace

std::FILE* fopen(const char* path, const char* mode) {
    bool binary = std::strchr(mode, 'b') != nullptr;
    bool reading = mode[0] == 'r' || std::strchr(mode, '+') != nullptr;
    if (binary || reading) {
        char libraryMode[8];
        size_t n = 0;
        for (const char* m = mode; *m && n + 1 < sizeof libraryMode; ++m)
            if (*m != 't') libraryMode[n++] = *m;
        libraryMode[n] = '\0';
        return std::fopen(path, libraryMode);
    }
    if (mode[0] == 'w' || mode[0] == 'a') return openTextForWriting(path, mode[0] == 'a');
    errno = EINVAL;
    return nullptr;
}

std::FILE* textStreamOver(int handle) { return textStream(handle, false); }

}  // namespace sorvil::runtime
