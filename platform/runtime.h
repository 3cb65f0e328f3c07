// The runtime calls the song list builder uses, on POSIX: folders held by
// descriptor, and stream files whose text mode writes each "\n" as CR LF.
#pragma once

#include <cstddef>
#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

namespace sorvil::runtime {

// Writes every byte, retrying after short writes; false (errno set) on an
// error.
bool writeAll(int handle, const char* bytes, size_t count);
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
// The open folder `folder` and every folder above it, the root included,
// into `passed`; false when one on the way cannot be examined.
bool foldersUpToTheRoot(int folder, std::vector<FileIdentity>& passed);

struct FolderEntry {
    std::string name;  // the bytes the file system holds, not always UTF-8
    bool isFolder;     // links followed
    bool isRegular;    // a plain file, links followed: not a folder, pipe or device
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

// A text-mode stream (see fopen) writing to the open descriptor `handle`,
// which std::fclose leaves open for its owner to flush and close.
std::FILE* textStreamOver(int handle);

// Stream files. A mode with 'b' is binary; a writing mode without it ("w",
// "wt", "a", "at") is text mode, which stores every "\n" as CR LF. Reading
// modes are passed to the C library unchanged. Close with std::fclose: its
// result also reports a failed write of buffered text.
std::FILE* fopen(const char* path, const char* mode);

}  // namespace sorvil::runtime
