// The runtime calls the song list builder uses, in the shape of the original
// platform's runtime library, on POSIX: low-level files, directories, and
// stream files whose text mode writes each "\n" as CR LF.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace sorvil::runtime {

// Open flags for _open. There is no newline translation on this platform, so
// the binary flag is accepted and means nothing.
extern const int OPEN_READ_ONLY;
extern const int OPEN_READ_WRITE;
extern const int OPEN_CREATE;
extern const int OPEN_TRUNCATE;
// With OPEN_CREATE: fails when the name is taken, so no existing file is opened.
extern const int OPEN_EXCLUSIVE;
extern const int OPEN_BINARY;
// Permission flags for a file created by _open. Read and write mean an
// ordinary file here: for every user, as the umask allows (0666 & ~umask).
extern const int PERMISSION_READ;
extern const int PERMISSION_WRITE;

int _open(const char* path, int flags, int permissions = 0);
// Byte count read, 0 at end of file, -1 on error.
int _read(int handle, void* buffer, unsigned int count);
// Byte count written, -1 on error.
int _write(int handle, const void* buffer, unsigned int count);
int _close(int handle);
int remove(const char* path);
// Gives `from` the name `to`, replacing whatever had that name (a link is
// replaced, never followed); both in one file system.
int rename(const char* from, const char* to);
int _chdir(const char* path);
int _mkdir(const char* path);
// The current directory; with a null buffer a heap copy the caller frees.
char* _getcwd(char* buffer, int size);
// True for a plain file (links followed): not a folder, pipe or device, whose
// reading may block forever or never end.
bool isRegularFile(const char* path);
// True for a folder (links followed). When false, errno says why: ENOTDIR
// for anything else that exists.
bool isFolder(const char* path);
// True when both paths name one file (links followed, hard links included).
bool isSameFile(const char* path, const char* otherPath);
// True when the path itself is a symbolic link (dangling or not).
bool isSymbolicLink(const char* path);
// True when path, links resolved, is folder itself or lies below it.
bool liesInside(const char* path, const char* folder);

struct FolderEntry {
    std::string name;  // the bytes the file system holds, not always UTF-8
    bool isFolder;     // links followed
};

// The entries of a folder ("." and ".." included) in the file system's order.
// Names come unconverted; a dangling link is no entry. -1 (errno set) when the
// folder cannot be read.
int listFolder(const char* path, std::vector<FolderEntry>& entries);

// Stream files. A mode with 'b' is binary; a writing mode without it ("w",
// "wt", "a", "at") is text mode, which stores every "\n" as CR LF. Reading
// modes are passed to the C library unchanged. Close with std::fclose: its
// result also reports a failed write of buffered text.
std::FILE* fopen(const char* path, const char* mode);

}  // namespace sorvil::runtime
