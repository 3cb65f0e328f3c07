// The runtime calls the song list builder uses, in the shape of the original
// platform's runtime library, on POSIX: low-level files, directories, and
// stream files whose text mode writes each "\n" as CR LF.
#pragma once

#include <cstddef>
#include <cstdio>

namespace sorvil::runtime {

// Open flags for _open. There is no newline translation on this platform, so
// the binary flag is accepted and means nothing.
extern const int OPEN_READ_ONLY;
extern const int OPEN_READ_WRITE;
extern const int OPEN_CREATE;
extern const int OPEN_TRUNCATE;
extern const int OPEN_BINARY;
// Permission flags for a file created by _open (owner read, owner write).
extern const int PERMISSION_READ;
extern const int PERMISSION_WRITE;

int _open(const char* path, int flags, int permissions = 0);
// Byte count read, 0 at end of file, -1 on error.
int _read(int handle, void* buffer, unsigned int count);
// Byte count written, -1 on error.
int _write(int handle, const void* buffer, unsigned int count);
int _close(int handle);
int remove(const char* path);
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

// Stream files. A mode with 'b' is binary; a writing mode without it ("w",
// "wt", "a", "at") is text mode, which stores every "\n" as CR LF. Reading
// modes are passed to the C library unchanged. Close with std::fclose: its
// result also reports a failed write of buffered text.
std::FILE* fopen(const char* path, const char* mode);

}  // namespace sorvil::runtime
