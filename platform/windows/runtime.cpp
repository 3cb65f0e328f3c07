#include "platform/runtime.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/windows/system.h"

namespace sorvil::runtime {

using namespace sorvil::windows;

namespace {

FileIdentity identityFrom(const HandleFacts& facts) { return {facts.volume, facts.index}; }

bool factsIn(int folder, const char* name, HandleFacts& facts) {
    std::wstring path;
    return pathIn(folder, name, path) && factsAt(path, facts);
}

}  // namespace

bool writeAll(int handle, const char* bytes, size_t count) {
    const HANDLE file = systemHandle(handle);
    if (file == INVALID_HANDLE_VALUE) return false;
    while (count > 0) {
        DWORD put = 0;
        if (!WriteFile(file, bytes, DWORD(std::min<size_t>(count, 1u << 30)), &put, nullptr))
            return failedWithLastError();
        if (put == 0) {
            errno = EIO;
            return false;
        }
        bytes += put;
        count -= put;
    }
    return true;
}

bool isRegularFile(const char* path) {
    HandleFacts facts;
    return factsIn(kCurrentFolderNumber, path, facts) && isPlain(facts);
}

bool isFolder(const char* path) {
    HandleFacts facts;
    if (!factsIn(kCurrentFolderNumber, path, facts)) return false;
    if (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
    errno = ENOTDIR;
    return false;
}

namespace {

// Walks up by "..", from a path whose links are resolved, until the folder
// `top` (when given) or the root (its own parent). True when the walk ended
// at either.
bool walkUp(int folder, const FileIdentity* top, std::vector<FileIdentity>& passed) {
    OpenEntry entry;
    if (!openEntry(folder, entry)) return false;
    for (std::wstring path = entry.path;; path = joinedPath(path, L"..")) {
        HandleFacts facts;
        if (!factsAt(path, facts)) return false;
        const FileIdentity here = identityFrom(facts);
        if (top && here == *top) return true;
        if (std::find(passed.begin(), passed.end(), here) != passed.end()) return !top;  // the root
        passed.push_back(here);
    }
}

}  // namespace

bool foldersUpTo(int folder, int top, std::vector<FileIdentity>& passed) {
    FileIdentity topIdentity{};
    return identityOf(top, "", topIdentity) && walkUp(folder, &topIdentity, passed);
}

bool foldersUpToTheRoot(int folder, std::vector<FileIdentity>& passed) { return walkUp(folder, nullptr, passed); }

namespace {

// The path the system resolved the open folder to, links followed, so that
// ".." from it is the folder's real parent; the path it was opened by when
// that one names another file or none (Wine drops a trailing dot from it).
std::wstring finalPathOf(HANDLE folder, const HandleFacts& facts, const std::wstring& opened) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD size;
    while ((size = GetFinalPathNameByHandleW(folder, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED)) >=
           path.size())
        path.resize(size);
    path.resize(size);
    HandleFacts found;
    const int error = errno;
    const bool same = size > 0 && factsAt(path, found) && found.volume == facts.volume && found.index == facts.index;
    errno = error;
    return same ? path : opened;
}

}  // namespace

// A folder is held by a HANDLE that shares no deletion, so that nothing
// renames or removes it, and the path it is reached by, while it is held.
int openFolder(int folder, const char* path) {
    std::wstring full;
    if (!pathIn(folder, path, full)) return -1;
    const HANDLE handle = CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return failWithLastError();
    HandleFacts facts;
    if (!factsOf(handle, facts) || !(facts.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (facts.attributes && !(facts.attributes & FILE_ATTRIBUTE_DIRECTORY)) errno = ENOTDIR;
        closeQuietly(handle);
        return -1;
    }
    return addOpen(handle, finalPathOf(handle, facts, full), true);
}

void closeFolder(int folder) { closeOpen(folder); }

bool canEnter(int folder, const char* path) {
    std::wstring full;
    if (!pathIn(folder, path, full)) return false;
    const HANDLE handle = openShared(full, FILE_TRAVERSE | FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) return false;
    HandleFacts facts;
    const bool known = factsOf(handle, facts);
    closeQuietly(handle);
    if (known && !(facts.attributes & FILE_ATTRIBUTE_DIRECTORY)) errno = ENOTDIR;
    return known && (facts.attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool identityOf(int folder, const char* name, FileIdentity& identity) {
    HandleFacts facts;
    if (!factsIn(folder, name, facts)) return false;
    identity = identityFrom(facts);
    return true;
}

bool exists(int folder, const char* name) {
    HandleFacts facts;
    return factsIn(folder, name, facts);
}

int makeFolder(int folder, const char* name) {
    std::wstring path;
    if (!pathIn(folder, name, path)) return -1;
    return CreateDirectoryW(path.c_str(), nullptr) ? 0 : failWithLastError();
}

OpenedFile openForReading(int folder, const char* name) {
    OpenedFile file{-1, false, 0};
    std::wstring path;
    if (!pathIn(folder, name, path)) return file;
    const HANDLE handle = openShared(path, GENERIC_READ);
    if (handle == INVALID_HANDLE_VALUE) return file;
    HandleFacts facts;
    if (!factsOf(handle, facts)) {
        closeQuietly(handle);
        return file;
    }
    file.handle = addOpen(handle, path, false);
    file.isPlain = isPlain(facts);
    file.size = facts.size;
    return file;
}

int closeFile(int handle) { return closeOpen(handle); }

// ReadFile at an offset given in an OVERLAPPED (on a handle opened for
// synchronous reading it waits, as pread does): the file position is not used.
long long readAt(int handle, uint64_t offset, char* buffer, size_t count) {
    const HANDLE file = systemHandle(handle);
    if (file == INVALID_HANDLE_VALUE) return -1;
    size_t got = 0;
    while (got < count) {
        OVERLAPPED at{};
        at.Offset = DWORD(offset + got);
        at.OffsetHigh = DWORD((offset + got) >> 32);
        DWORD read = 0;
        if (!ReadFile(file, buffer + got, DWORD(std::min<size_t>(count - got, 1u << 30)), &read, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return failWithLastError();
        }
        if (read == 0) break;
        got += read;
    }
    return (long long)got;
}

// The song is read whole with ReadFile, which the system reads ahead for by
// itself: there is nothing to ask beforehand.
void askAhead(int, const char*, uint64_t, uint64_t) {}
void askAheadWhole(int, const char*) {}

namespace {

// To the end of the open file; 0, or -1 with errno set (EFBIG past `largest`).
int readToEnd(HANDLE file, uint64_t largest, std::string& text) {
    char block[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, block, sizeof block, &got, nullptr))
            return GetLastError() == ERROR_HANDLE_EOF ? 0 : failWithLastError();
        if (got == 0) return 0;
        text.append(block, got);
        if (text.size() > largest) {
            errno = EFBIG;  // it grew while it was read
            return -1;
        }
    }
}

}  // namespace

int readSmallFile(int folder, const char* name, uint64_t largest, std::string& text) {
    text.clear();
    std::wstring path;
    if (!pathIn(folder, name, path)) return -1;
    const HANDLE file = openShared(path, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE) return -1;
    HandleFacts facts;
    int result = -1;
    if (factsOf(file, facts)) {
        if (isPlain(facts) && facts.size <= largest)
            result = readToEnd(file, largest, text);
        else
            errno = isPlain(facts) ? EFBIG : EINVAL;
    }
    // The file was there: ENOENT would say it is not.
    if (result != 0 && errno == ENOENT) errno = EIO;
    closeQuietly(file);  // read only: nothing can be lost by its close
    return result;
}

// Written through: the rename is on the disk when the call returns.
int renameFile(int folder, const char* from, const char* to) {
    std::wstring fromPath, toPath;
    if (!pathIn(folder, from, fromPath) || !pathIn(folder, to, toPath)) return -1;
    return MoveFileExW(fromPath.c_str(), toPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : failWithLastError();
}

// Without MOVEFILE_REPLACE_EXISTING the system never replaces what is there.
int renameWithoutReplacing(int folder, const char* from, const char* to) {
    std::wstring fromPath, toPath;
    if (!pathIn(folder, from, fromPath) || !pathIn(folder, to, toPath)) return -1;
    return MoveFileExW(fromPath.c_str(), toPath.c_str(), MOVEFILE_WRITE_THROUGH) ? 0 : failWithLastError();
}

int removeFile(int folder, const char* name) {
    std::wstring path;
    if (!pathIn(folder, name, path)) return -1;
    if (DeleteFileW(path.c_str())) return 0;
    const DWORD error = GetLastError();
    // A link to a folder is removed as a folder is, its target untouched.
    HandleFacts facts;
    if (error == ERROR_ACCESS_DENIED && factsAt(path, facts, FILE_FLAG_OPEN_REPARSE_POINT) && isLink(facts) &&
        (facts.attributes & FILE_ATTRIBUTE_DIRECTORY))
        return RemoveDirectoryW(path.c_str()) ? 0 : failWithLastError();
    errno = errnoFor(error);
    return -1;
}

int removeEmptyFolder(int folder, const char* name) {
    std::wstring path;
    if (!pathIn(folder, name, path)) return -1;
    if (RemoveDirectoryW(path.c_str())) return 0;
    if (GetLastError() != ERROR_SHARING_VIOLATION) return failWithLastError();
    // The run itself holds it open (the music folder it made): let it go.
    releaseHoldsOn(path);
    return RemoveDirectoryW(path.c_str()) ? 0 : failWithLastError();
}

namespace {

// 0, or -1 with errno set. A file that cannot be opened for writing (another
// program holds it, or it is read-only) holds nothing this process wrote.
int flushFile(const std::wstring& path) {
    const HANDLE file = openShared(path, GENERIC_WRITE);
    if (file == INVALID_HANDLE_VALUE) return errno == EACCES || errno == EBUSY ? 0 : -1;
    const bool flushed = FlushFileBuffers(file);
    const DWORD error = GetLastError();
    if (!CloseHandle(file) || !flushed) {
        errno = errnoFor(flushed ? GetLastError() : error);
        return -1;
    }
    return 0;
}

// Calls `visit` with each entry of the folder `path` ("." and ".." too);
// false with errno set when the folder cannot be read or `visit` says stop.
template <typename Visit>
bool forEachEntry(const std::wstring& path, Visit visit) {
    const std::wstring pattern = path + (path.back() == L'\\' ? L"*" : L"\\*");
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND || failedWithLastError();
    bool going = true;
    do {
        going = visit(found);
    } while (going && FindNextFileW(search, &found));
    const DWORD error = going ? GetLastError() : ERROR_NO_MORE_FILES;
    FindClose(search);
    if (!going) return false;
    if (error == ERROR_NO_MORE_FILES) return true;
    errno = errnoFor(error);
    return false;
}

}  // namespace

// No call flushes a whole file system short of an administrator's volume
// handle: every plain file of the folder is flushed instead, which covers
// the copies the run wrote there.
int flushFileSystem(int folder) {
    std::wstring path;
    if (!pathIn(folder, "", path)) return -1;
    int result = 0;
    int firstError = 0;
    const bool listed = forEachEntry(path, [&](const WIN32_FIND_DATAW& found) {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return true;
        if (flushFile(joinedPath(path, found.cFileName)) != 0 && result == 0) {
            result = -1;
            firstError = errno;
        }
        return true;
    });
    if (!listed) return -1;
    errno = firstError;
    return result;
}

// No signal ends a process whose reader went away: the write fails (EPIPE).
void ignoreBrokenPipes() {}

void useUtf8Console() {
    SetConsoleOutputCP(CP_UTF8);  // fails only where there is no console, which then has nothing to show
}

int listFolder(int folder, std::vector<FolderEntry>& entries) {
    std::wstring path;
    if (!pathIn(folder, "", path)) return -1;
    const bool listed = forEachEntry(path, [&](const WIN32_FIND_DATAW& found) {
        FolderEntry entry{utf8Name(found.cFileName, wcslen(found.cFileName)), false, false, 0};
        HandleFacts facts;
        facts.attributes = found.dwFileAttributes;
        facts.reparseTag = found.dwReserved0;
        facts.isDisk = true;
        // A link is what it leads to; one that leads nowhere is no entry.
        if (isLink(facts) && !factsAt(joinedPath(path, found.cFileName), facts)) {
            if (errno != ENOENT) entries.push_back({entry.name, false, false, errno});
            return true;
        }
        entry.isFolder = facts.attributes & FILE_ATTRIBUTE_DIRECTORY;
        entry.isRegular = isPlain(facts);
        entries.push_back(entry);
        return true;
    });
    return listed ? 0 : -1;
}

int listNames(int folder, std::vector<std::string>& names) {
    std::wstring path;
    if (!pathIn(folder, "", path)) return -1;
    const bool listed = forEachEntry(path, [&](const WIN32_FIND_DATAW& found) {
        names.push_back(utf8Name(found.cFileName, wcslen(found.cFileName)));
        return true;
    });
    return listed ? 0 : -1;
}

namespace {

// A stream over a HANDLE of its own (a duplicate), whose close leaves the
// owner's open. The C library's text mode stores every "\n" as CR LF.
std::FILE* textStreamOverHandle(HANDLE file) {
    HANDLE duplicate = INVALID_HANDLE_VALUE;
    if (!DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        failWithLastError();
        return nullptr;
    }
    const int descriptor = _open_osfhandle(intptr_t(duplicate), _O_WRONLY | _O_TEXT);
    if (descriptor < 0) {
        closeQuietly(duplicate);
        return nullptr;
    }
    std::FILE* stream = _fdopen(descriptor, "wt");
    if (!stream) {
        const int error = errno;
        _close(descriptor);
        errno = error;
    }
    return stream;
}

}  // namespace

std::FILE* textStreamOver(int handle) {
    const HANDLE file = systemHandle(handle);
    return file == INVALID_HANDLE_VALUE ? nullptr : textStreamOverHandle(file);
}

// Reading modes read bytes as they are, as on every other system: binary.
std::FILE* fopen(const char* path, const char* mode) {
    const bool binary = std::strchr(mode, 'b') != nullptr;
    const bool reading = mode[0] == 'r' || std::strchr(mode, '+') != nullptr;
    if (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a') {
        errno = EINVAL;
        return nullptr;
    }
    std::wstring systemMode;
    for (const char* m = mode; *m; ++m)
        if (*m != 't' && *m != 'b') systemMode += wchar_t(*m);
    systemMode += binary || reading ? L'b' : L't';
    std::wstring full;
    return pathIn(kCurrentFolderNumber, path, full) ? _wfopen(full.c_str(), systemMode.c_str()) : nullptr;
}

}  // namespace sorvil::runtime
