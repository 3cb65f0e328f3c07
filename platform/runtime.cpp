#include "platform/runtime.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace sorvil::runtime {

const int OPEN_READ_ONLY = O_RDONLY;
const int OPEN_READ_WRITE = O_RDWR;
const int OPEN_CREATE = O_CREAT;
const int OPEN_TRUNCATE = O_TRUNC;
const int OPEN_EXCLUSIVE = O_EXCL;
const int OPEN_BINARY = 0;
const int PERMISSION_READ = S_IRUSR | S_IRGRP | S_IROTH;
const int PERMISSION_WRITE = S_IWUSR | S_IWGRP | S_IWOTH;

int _open(const char* path, int flags, int permissions) {
    return ::open(path, flags | O_CLOEXEC, static_cast<mode_t>(permissions));
}

int _read(int handle, void* buffer, unsigned int count) {
    ssize_t got;
    do {
        got = ::read(handle, buffer, count);
    } while (got < 0 && errno == EINTR);
    return static_cast<int>(got);
}

int _write(int handle, const void* buffer, unsigned int count) {
    ssize_t put;
    do {
        put = ::write(handle, buffer, count);
    } while (put < 0 && errno == EINTR);
    return static_cast<int>(put);
}

int _close(int handle) { return ::close(handle); }
int remove(const char* path) { return ::unlink(path); }
int rename(const char* from, const char* to) { return ::rename(from, to); }
int _chdir(const char* path) { return ::chdir(path); }
int _mkdir(const char* path) { return ::mkdir(path, 0777); }
char* _getcwd(char* buffer, int size) { return ::getcwd(buffer, buffer ? static_cast<size_t>(size) : 0); }

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

bool isSameFile(const char* path, const char* otherPath) {
    struct stat info {}, other {};
    return ::stat(path, &info) == 0 && ::stat(otherPath, &other) == 0 && info.st_dev == other.st_dev &&
           info.st_ino == other.st_ino;
}

bool isSymbolicLink(const char* path) {
    struct stat info {};
    return ::lstat(path, &info) == 0 && S_ISLNK(info.st_mode);
}

bool liesInside(const char* path, const char* folder) {
    char* resolvedPath = ::realpath(path, nullptr);
    char* resolvedFolder = ::realpath(folder, nullptr);
    bool inside = false;
    if (resolvedPath && resolvedFolder) {
        const std::string within(resolvedPath);
        std::string base(resolvedFolder);
        if (base.back() != '/') base += '/';
        inside = within + '/' == base || within.compare(0, base.size(), base) == 0;
    }
    std::free(resolvedPath);
    std::free(resolvedFolder);
    return inside;
}

int listFolder(const char* path, std::vector<FolderEntry>& entries) {
    DIR* folder = ::opendir(path);
    if (!folder) return -1;
    std::string prefix = std::string(path) + "/";
    errno = 0;
    while (const dirent* entry = ::readdir(folder)) {
        struct stat info {};
        if (::stat((prefix + entry->d_name).c_str(), &info) == 0)
            entries.push_back({entry->d_name, S_ISDIR(info.st_mode)});
        errno = 0;
    }
    int error = errno;
    ::closedir(folder);
    errno = error;
    return error == 0 ? 0 : -1;
}

namespace {

// Writes every byte, retrying after short writes; false on an error.
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

std::FILE* openTextForWriting(const char* path, bool append) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    int handle = ::open(path, flags, 0666);
    if (handle < 0) return nullptr;
    cookie_io_functions_t functions{};
    functions.write = writeText;
    functions.close = closeText;
    std::FILE* file = ::fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(handle)), "w", functions);
    if (!file) ::close(handle);
    return file;
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

}  // namespace sorvil::runtime
