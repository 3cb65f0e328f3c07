#include "app/song_copy.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/console.h"
#include "app/song_list_file.h"
#include "platform/file_copy.h"

namespace sorvil {

namespace {

// 0, or the reason the copy could not be written.
int writeCopy(const CopyPlan& plan, const PlannedCopy* song, int artistFolder, const char* name, int musicFolder) {
    if (!song) return ENOENT;  // the song was not there when the collection was gathered
    if (plan.frozenError != 0) return plan.frozenError;
    return copyFile(artistFolder, name, musicFolder, song->target.c_str()) == 0 ? 0 : errno;
}

}  // namespace

std::string copySong(SongListRun& run, int artistFolder, const char* artist, const char* name, const char* title,
                     std::string& shownName, bool& listed) {
    PlannedCopy* song = nextPlannedCopy(run.copies, artist, name);
    char copyName[32];
    std::snprintf(copyName, sizeof copyName, "song%04d.mp3", run.songNumber);
    ++run.songNumber;
    const std::string target = song ? song->target : copyName;
    shownName = "../" + run.options.musicName + "/" + target;
    listed = false;
    if (song && song->step == CopyStep::TooLarge) {
        shownName = name;  // no copy is made: the song is named by its own file
        return copyRecordStart(artist, title, target.c_str());
    }
    const int failure = song && song->step == CopyStep::Keep
                            ? 0
                            : writeCopy(run.copies, song, artistFolder, name, run.options.musicFolder);
    if (failure != 0) {
        consoleLine("ERROR: Cannot copy MP3 file to %s: %s", printable(shownName).c_str(), std::strerror(failure));
        run.incomplete = true;
    }
    listed = failure == 0;
    if (song) song->listed = listed;
    return copyRecordStart(artist, title, target.c_str());
}

}  // namespace sorvil
