// What every Windows file of the platform layer shares: the int handles the
// interfaces speak of, mapped onto the system's HANDLEs and full paths; names
// turned from UTF-8 into UTF-16 paths of the `\\?\` form, which reach every
// name the file system holds (reserved names such as "aux.mp3", trailing dots
// and spaces, more than 260 characters); and the system's error codes turned
// into the errno values the interfaces promise.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <string>

namespace sorvil::windows {

// --- Errors: one mapping, used by every call ---

// The errno value for a Windows error code.
int errnoFor(DWORD error);
// Sets errno from GetLastError() and gives -1, for the interfaces' "0, or -1
// with errno set".
int failWithLastError();
// Sets errno from GetLastError() and gives false.
bool failedWithLastError();

// --- Names ---

// UTF-8 to UTF-16. A name listed by the system round-trips through
// utf8Name() unchanged, unpaired surrogates included (they are carried as
// 3-byte sequences of their own); a byte that is no UTF-8 becomes U+FFFD.
std::wstring wideName(const char* name);
std::string utf8Name(const wchar_t* name, size_t length);
std::string utf8Name(const std::wstring& name);

// --- Handles ---

// The folder number that stands for the process's current folder (the
// relative names a user types on a command line).
constexpr int kCurrentFolderNumber = -100;

// A number of the interfaces' (a folder or a file), and what stands behind it.
struct OpenEntry {
    HANDLE handle = INVALID_HANDLE_VALUE;  // INVALID_HANDLE_VALUE once released
    std::wstring path;                     // the full `\\?\` path it was opened by
    bool isFolder = false;
};

// Gives a number to an open HANDLE, the lowest one free.
int addOpen(HANDLE handle, std::wstring path, bool isFolder);
// The entry of the number; false with errno EBADF when there is none. 0, 1
// and 2 are standard input, output and error.
bool openEntry(int number, OpenEntry& entry);
// The system HANDLE of a number; INVALID_HANDLE_VALUE with errno EBADF.
HANDLE systemHandle(int number);
// Closes the number's HANDLE and frees the number; 0, or -1 with errno set.
int closeOpen(int number);
// Closes the HANDLEs held on the folder `path` (so that the run can remove a
// folder it made), keeping their numbers as names of the place.
void releaseHoldsOn(const std::wstring& path);

// The full `\\?\` path of `name` (components split at '/' or '\', "." and ".."
// resolved by name) in the folder numbered `folder`; an empty name is the
// folder itself. False with errno set when the folder is unknown or the name
// cannot be made a path.
bool pathIn(int folder, const char* name, std::wstring& path);
// `name`'s components applied, as pathIn does, to the folder path `folder`.
std::wstring joinedPath(const std::wstring& folder, const std::wstring& name);

// --- Files ---

// CreateFileW with every sharing mode, so that no other program is kept from
// reading, writing, renaming or removing what the run examines. `flags` adds
// to FILE_FLAG_BACKUP_SEMANTICS, which folders need to open at all.
HANDLE openShared(const std::wstring& path, DWORD access, DWORD flags = 0);
// Closes a HANDLE whose close can lose nothing, keeping errno.
void closeQuietly(HANDLE handle);

// What GetFileInformationByHandle and FileBasicInfo say of an open file.
struct HandleFacts {
    uint64_t volume = 0, index = 0, size = 0, links = 0;
    int64_t modified = 0, changed = 0;  // 100 ns units since 1601 (FILETIME)
    DWORD attributes = 0;
    DWORD reparseTag = 0;  // what kind of reparse point, when attributes say it is one
    bool isDisk = false;  // GetFileType: a disk file, not a pipe or device
};
// False with errno set.
bool factsOf(HANDLE handle, HandleFacts& facts);
// The same of the file `path` names, opened with `flags` (such as
// FILE_FLAG_OPEN_REPARSE_POINT) for its attributes only.
bool factsAt(const std::wstring& path, HandleFacts& facts, DWORD flags = 0);
// A plain file: a disk file that is no folder.
inline bool isPlain(const HandleFacts& facts) {
    return facts.isDisk && !(facts.attributes & FILE_ATTRIBUTE_DIRECTORY);
}
// A symbolic link or a junction: a name that leads elsewhere.
inline bool isLink(const HandleFacts& facts) {
    return (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (facts.reparseTag == IO_REPARSE_TAG_SYMLINK || facts.reparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

}  // namespace sorvil::windows
