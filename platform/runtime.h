// The runtime calls the song list builder uses, in the shape of the original
// platform's runtime library, on POSIX: low-level files, directories, and
// stream files whose text mode writes each "\n" as CR LF.
#pragma once

#include <cstddef>
#include <sys/types.h>

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
// A file's identity, links resolved: its device and inode.
struct FileIdentity {
    dev_t device;
    ino_t inode;
    bool operator==(const FileIdentity&) const = default;
};

// The folders from the open folder `folder` up to, not including, the open
// folder `top` (by "..", so links are resolved) into `passed`. False when
// `top` is not met below the root: `folder` lies outside it.
bool foldersUpTo(int folder, int top, std::vector<FileIdentity>& passed);

struct FolderEntry {
    std::string name;  // the bytes the file system holds, not always UTF-8
    bool isFolder;     // links followed
    int error;         // 0, or the errno of an entry that could not be examined
};

// Opens the folder `path` (links followed) relative to the open folder
// `folder` as a place for the *at calls, not for reading (which then needs
// no read permission); -1 with errno set.
int openFolder(int folder, const char* path);
// The entries of the open folder ("." and ".." included) in the file
// system's order. Names come unconverted; a dangling link (or an entry gone
// since it was listed) is no entry; an entry whose kind cannot be found keeps
// its errno in `error`. -1 (errno set) when the folder cannot be read.
int listFolder(int folder, std::vector<FolderEntry>& entries);

// A text-mode stream (see fopen) writing a new file `path` in the open folder
// `folder`: it fails when the name is taken, a link included. *handle gets
// the descriptor under it, for fsync; std::fclose closes both.
std::FILE* createTextFileAt(int folder, const char* path, int* handle);

// Stream files. A mode with 'b' is binary; a writing mode without it ("w",
// "wt", "a", "at") is text mode, which stores every "\n" as CR LF. Reading
// modes are passed to the C library unchanged. Close with std::fclose: its
// result also reports a failed write of buffered text.
std::FILE* fopen(const char* path, const char* mode);

}  // namespace sorvil::runtime
