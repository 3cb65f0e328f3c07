// File copy through the kernel (or a buffer that shrinks when memory is
// short), and whole-file loading into the program-wide image.
#pragma once

#include <cstdint>
#include <string>

namespace sorvil {

// The song last loaded: a read-only mapping of the whole file, or null.
extern const uint8_t* fileImage;
// True after a loadWholeFile that could not read its file (missing,
// unreadable, an I/O error); false after one that succeeded or found the file
// empty, not a plain file or too large to be a song, which is the file's own
// nature and no failure of the run.
extern bool loadReadFailed;

// The temporary name beside `path` under which its replacement is written
// before it is renamed into place.
std::string replacementName(const std::string& path);

// Folder descriptors for the *at forms; kCurrentFolder for plain paths.
extern const int kCurrentFolder;

// Copies `source` (in the open folder `sourceFolder`) to `target` (in
// `targetFolder`), which carries the source's modification time afterwards.
// On failure no file is left under the target's name: an earlier file there
// would be another song.
int copyFile(int sourceFolder, const char* source, int targetFolder, const char* target);
int copyFile(const char* source, const char* target);
// Copies to the end of the source: through the kernel where it can (which
// shares extents where the file system can), else through a buffer.
int copyFileData(int sourceHandle, int targetHandle);
// True when `target` is an earlier copy of `source` that can stay as it is:
// a plain file of its own (no link, one name) with the source's size and
// modification time. The caller also makes sure it was listed as this song.
bool copyIsCurrent(int sourceFolder, const char* source, int targetFolder, const char* target);

// Maps the file and gives its size, or -1. Only the pages that are read come
// from the disk. A file cut short while it is mapped reads as zeros past its
// new end (see fileImageWasCut) instead of killing the process.
int loadWholeFile(int folder, const char* name);
int loadWholeFile(const char* name);
// Asks the disk, without waiting, for the parts of a song that its
// measurement reads first, so that songs still to come are on their way
// while this one is measured (each read waits for the disk otherwise).
void prefetchSong(int folder, const char* name);
// True when the file behind the current image shrank while it was read: the
// image no longer holds the file, and its measurement means nothing.
bool fileImageWasCut();
// Unmaps the current image; fileImage becomes null.
void releaseFileImage();

}  // namespace sorvil
