// The runtime calls the song list builder uses: folders held open and named
// by number, and stream files whose text mode writes each "\n" as CR LF.
#pragma once

#include <cstddef>
#include <cstdint>

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
// A file's identity, links resolved: its device and inode (volume serial
// and file index where the system has no inodes), 64 bits each everywhere.
struct FileIdentity {
    uint64_t device;
    uint64_t inode;
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
// Closes a folder opened by openFolder. Such a folder is only a place to
// reach names from: nothing can be lost by its close, so it cannot fail.
void closeFolder(int folder);
// True when the folder `path` in the open folder `folder` ("." for the
// folder itself) may be searched by this process, as the run's user.
bool canEnter(int folder, const char* path);
// The identity of `name` in the open folder, links followed (of the folder
// itself when `name` is empty); false with errno set.
bool identityOf(int folder, const char* name, FileIdentity& identity);
// True when something (links followed) is named `name` in the open folder;
// false with errno set (ENOENT when nothing is).
bool exists(int folder, const char* name);
// Creates the folder `name` in the open folder; 0, or -1 with errno set.
int makeFolder(int folder, const char* name);

// What a file opened for reading is.
struct OpenedFile {
    int handle;     // -1 when it could not be opened or examined
    bool isPlain;   // not a folder, pipe or device
    uint64_t size;  // its size in bytes
};
// Opens `name` in the open folder for reading without waiting (a pipe's
// open would wait for a writer) and examines it. handle -1 with errno set
// when either fails; otherwise the caller closes it with closeFile.
OpenedFile openForReading(int folder, const char* name);
// 0, or -1 with errno set.
int closeFile(int handle);
// Reads `count` bytes at `offset` of the open file (fewer only at its end):
// the number read, or -1 with errno set.
long long readAt(int handle, uint64_t offset, char* buffer, size_t count);
// Ask the disk, without waiting, for the first `head` and the last `tail`
// bytes, or the whole, of the plain file `name`; anything that is not one is
// not even opened. Advice only: nothing is reported.
void askAhead(int folder, const char* name, uint64_t head, uint64_t tail);
void askAheadWhole(int folder, const char* name);
// The whole plain file `name` of the open folder into `text`, when it holds
// at most `largest` bytes. 0, or -1 with errno set: that of the open when
// the file could not be opened (ENOENT: there is none), EINVAL when it is not
// a plain file, EFBIG when it holds (or grows to) more.
int readSmallFile(int folder, const char* name, uint64_t largest, std::string& text);

// Renames `from` to `to`, both in the open folder, replacing what `to` named;
// 0, or -1 with errno set.
int renameFile(int folder, const char* from, const char* to);
// Renames `from` to `to` in the open folder only when nothing is named `to`:
// what is there is never replaced. Where the file system cannot rename so
// (FUSE drivers of FAT, exFAT and NTFS refuse), `to` is first claimed by
// creating it as a new, empty file (which fails when anything is there), and
// only that file is replaced. 0, or -1 with errno set (EEXIST when `to` was
// taken).
int renameWithoutReplacing(int folder, const char* from, const char* to);
// Removes the name `name` (not a folder) from the open folder; 0, or -1 with
// errno set.
int removeFile(int folder, const char* name);
// Removes the empty folder `name` in the open folder; 0, or -1 with errno
// set (ENOTEMPTY when something is in it).
int removeEmptyFolder(int folder, const char* name);
// Writes to the disk everything the file system holding the open folder
// still keeps in memory; 0, or -1 with errno set.
int flushFileSystem(int folder);

// Makes a write to a pipe whose reader has gone fail with EPIPE instead of
// ending the process.
void ignoreBrokenPipes();
// Makes the console show the UTF-8 text the program writes as UTF-8 (a
// console may take another code page); nothing where it always does.
void useUtf8Console();

// The entries of the open folder ("." and ".." included) in the file
// system's order. Names come unconverted; a dangling link (or an entry gone
// since it was listed) is no entry; an entry whose kind cannot be found keeps
// its errno in `error`. -1 (errno set) when the folder cannot be read.
int listFolder(int folder, std::vector<FolderEntry>& entries);

// The names in the open folder ("." and ".." included) as the file system
// holds them, dangling links too, none examined. -1 (errno set) when the
// folder cannot be read.
int listNames(int folder, std::vector<std::string>& names);

// A text-mode stream (see fopen) writing to the open descriptor `handle`,
// which std::fclose leaves open for its owner to flush and close.
std::FILE* textStreamOver(int handle);

// Stream files. A mode with 'b' is binary; a writing mode without it ("w",
// "wt", "a", "at") is text mode, which stores every "\n" as CR LF. Reading
// modes are passed to the C library unchanged. Close with std::fclose: its
// result also reports a failed write of buffered text.
std::FILE* fopen(const char* path, const char* mode);

}  // namespace sorvil::runtime
