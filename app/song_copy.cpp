#include "app/song_copy.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/console.h"
#include "app/song_list_file.h"
#include "platform/file_copy.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

// 0, or the reason the copy could not be written. A pipe or device is no
// song (EINVAL) and is never opened; nothing stays under the copy's name.
int writeCopy(const CopyPlan& plan, const PlannedCopy* song, int songFolder, const FoundSong& found,
              int musicFolder) {
    if (!song) return ENOENT;  // the song was not there when the collection was gathered
    if (plan.frozenError != 0) return plan.frozenError;
    if (!found.isPlainFile) {
        if (runtime::removeFile(musicFolder, song->target.c_str()) != 0 && errno != ENOENT) return errno;
        return EINVAL;
    }
    return copyFile(songFolder, found.name.c_str(), musicFolder, song->target.c_str(), song->partial.c_str()) == 0
               ? 0
               : errno;
}

// While this song is copied, the disk reads the next one to copy, so that
// reading and writing overlap. Advice only: a refusal changes no result.
void readNextCopyAhead(const SongListRun& run) {
    const CopyPlan& plan = run.copies;
    size_t next = plan.cursor;
    while (next < plan.songs.size() && plan.songs[next].step != CopyStep::Write) ++next;
    if (next == plan.songs.size() || !plan.songs[next].readAheadHelps) return;
    const std::string path = plan.songs[next].artist + "/" + plan.songs[next].name;
    runtime::askAheadWhole(run.options.startFolder, path.c_str());
}

// The copy now under the song's number, and the earlier copy it took the
// place of, if one was there.
void countCopy(SongListRun& run, const PlannedCopy& song) {
    RunTally& tally = run.tally;
    if (song.step == CopyStep::Keep) {
        ++tally.kept;
        if (song.from != song.target) ++tally.moved;
    } else {
        ++tally.copied;
    }
    if (song.from != song.target && run.copies.dropped.count(song.target)) ++tally.removed;
}

}  // namespace

std::string copySong(SongListRun& run, int songFolder, const char* artist, const FoundSong& found, const char* title,
                     bool& listed, const PlannedCopy*& planned) {
    PlannedCopy* song = nextPlannedCopy(run.copies, artist, found.path().c_str());
    planned = song;
    char copyName[32];
    std::snprintf(copyName, sizeof copyName, "song%04d.mp3", run.songNumber);
    ++run.songNumber;
    const std::string target = song ? song->target : copyName;
    const std::string shownName = "../" + run.options.musicName + "/" + target;
    listed = false;
    if (song && song->step == CopyStep::TooLarge) return copyRecordStart(artist, title, target.c_str());
    if (song && song->step == CopyStep::Write && run.copies.frozenError == 0) readNextCopyAhead(run);
    const int failure = song && song->step == CopyStep::Keep
                            ? 0
                            : writeCopy(run.copies, song, songFolder, found, run.options.musicFolder);
    if (failure != 0) {
        consoleLine("ERROR: Cannot copy MP3 file to %s: %s", printable(shownName).c_str(), std::strerror(failure));
        ++run.tally.failures;
    }
    listed = failure == 0;
    if (song) {
        song->listed = listed;
        if (listed) countCopy(run, *song);
    }
    return copyRecordStart(artist, title, target.c_str());
}

}  // namespace sorvil
