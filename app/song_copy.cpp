#include "app/song_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/console.h"
#include "app/song_list_file.h"
#include "platform/file_copy.h"

namespace sorvil {

namespace {

// A pipe or device is no song (EINVAL). Its copy fails as any failed copy
// does: nothing stays under the copy's name (an earlier file there would be
// another song), and a name that cannot go says its own reason.
int refuseCopy(int musicFolder, const char* copyName) {
    if (unlinkat(musicFolder, copyName, 0) == 0 || errno == ENOENT) errno = EINVAL;
    return -1;
}

}  // namespace

std::string copySong(SongListRun& run, int artistFolder, const char* artist, const char* name, const char* title,
                     bool plainFile) {
    const RunOptions& options = run.options;
    char copyName[32];
    std::snprintf(copyName, sizeof copyName, "song%04d.mp3", run.songNumber);
    ++run.songNumber;
    const std::string shownName = "../" + options.musicName + "/" + copyName;
    const std::string listed = copyRecordStart(artist, title, copyName);
    // Sizes and times alone could match another song of the same length
    // unpacked at the same second: the earlier list must name this song too.
    const bool current = plainFile && options.earlierCopies.count(listed) != 0 &&
                         copyIsCurrent(artistFolder, name, options.musicFolder, copyName);
    const int copied = current     ? 0
                       : plainFile ? copyFile(artistFolder, name, options.musicFolder, copyName)
                                   : refuseCopy(options.musicFolder, copyName);
    if (copied != 0) {
        consoleLine("ERROR: Cannot copy MP3 file to %s", printable(shownName).c_str());
        run.incomplete = true;
    }
    return listed;
}

}  // namespace sorvil
