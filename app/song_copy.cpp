#include "app/song_copy.h"

#include <cstdio>

#include "app/console.h"
#include "app/song_list_file.h"
#include "platform/file_copy.h"

namespace sorvil {

std::string copySong(SongListRun& run, int artistFolder, const char* artist, const char* name, const char* title,
                     std::string& shownName) {
    const RunOptions& options = run.options;
    char copyName[32];
    std::snprintf(copyName, sizeof copyName, "song%04d.mp3", run.songNumber);
    ++run.songNumber;
    shownName = "../" + options.musicName + "/" + copyName;
    const std::string listed = copyRecordStart(artist, title, copyName);
    // Sizes and times alone could match another song of the same length
    // unpacked at the same second: the earlier list must name this song too.
    const bool current = options.earlierCopies.count(listed) != 0 &&
                         copyIsCurrent(artistFolder, name, options.musicFolder, copyName);
    if (!current && copyFile(artistFolder, name, options.musicFolder, copyName) != 0) {
        consoleLine("ERROR: Cannot copy MP3 file to %s", printable(shownName).c_str());
        run.incomplete = true;
    }
    return listed;
}

}  // namespace sorvil
