// What a file system says of a file, in terms of no particular system: the
// identity, size and times by which the run tells a file unchanged, and
// whether the file system keeps those apart at all.
#pragma once

#include <cstdint>

namespace sorvil::runtime {

struct FileStatus {
    uint64_t device = 0, inode = 0, size = 0;
    uint64_t links = 0;  // the names the file has
    int64_t modifiedSeconds = 0, modifiedNanoseconds = 0;
    // Moves with every change of content, name or times and cannot be set back.
    int64_t changedSeconds = 0, changedNanoseconds = 0;
    bool isPlain = false;   // not a folder, link, pipe or device
    bool isFolder = false;
};

// The status of `name` in the open folder, links followed; 0, or -1 with
// errno set.
int statusOf(int folder, const char* name, FileStatus& status);
// The same of the name itself: a link is reported as a link (neither plain
// nor a folder), not as what it leads to.
int linkStatusOf(int folder, const char* name, FileStatus& status);
// linkStatusOf as the file system itself reports it now, past any times a
// FUSE driver's cache still holds from before a flush.
int freshLinkStatusOf(int folder, const char* name, FileStatus& status);

// Whether the file system holding `name` in the open folder (the folder
// itself when `name` is empty) keeps inode numbers and change times: a FAT
// driver makes up the numbers anew at every mount and reports the creation
// or modification time as the change time. False too when it cannot be told.
bool keepsInodeNumbers(int folder, const char* name);

// The coarsest step, in nanoseconds, in which the file system holding `name`
// in the open folder (the folder itself when `name` is empty) may keep a
// file's times: two seconds where it may be FAT (FAT, exFAT, and any FUSE
// driver, which the run cannot tell apart), else one nanosecond (a file
// system of whole seconds shows it in the times themselves, which have no
// fraction).
int64_t timeResolution(int folder, const char* name);

// Whether asking the disk ahead for `name` in the open folder (a file in the
// folder itself when `name` is empty) is in vain:
// where a file's cached pages are let go each time it is opened again (a
// FUSE driver's files, as the kernel keeps them by default), what was asked
// for is gone before it is read, and the asking costs an open of its own.
bool asksAheadInVain(int folder, const char* name);

}  // namespace sorvil::runtime
