#include "app/run.h"

#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/collection_lock.h"
#include "app/console.h"
#include "app/music_sync.h"
#include "app/music_folder.h"
#include "app/playlist_file.h"
#include "app/scan.h"
#include "app/song_list_file.h"
#include "platform/file_copy.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

// This console tool needs no display. Automatic system selection is told to
// take the display-less driver, whose message output writes to the console
// (a windowing driver would open a dialog and wait for a click).
const char SYSTEM_CONFIGURATION[] = "[system]\nsystem = NONE\n";

// Every later step works relative to the starting folder's descriptor, so
// nothing depends on the process's current folder or on finding the way back
// to it. False (said on standard error) when it cannot be entered.
bool openStartFolder(const CommandLine& command, RunOptions& options) {
    const char* start = command.folder.empty() ? "." : command.folder.c_str();
    errno = command.folderError;
    if (errno == 0) options.startFolder = runtime::openFolder(kCurrentFolder, start);
    if (options.startFolder >= 0 && runtime::canEnter(options.startFolder, "."))
        return lockCollection(options, start);
    std::fprintf(stderr, "sorvil: cannot enter '%s': %s\n", start, std::strerror(errno));
    return false;
}

// The notice of the mode, and in copy mode the music folder and the list an
// earlier run left; false (said) when the copies have nowhere to go.
bool prepareOutput(RunOptions& options) {
    if (options.noCopy) {
        consoleLine("Music files will not be copied to files with 8.3 file names.\n"
                    "The resulting SONGLIST.INI will require PELLMAR.");
        return true;
    }
    if (!prepareMusicFolder(options)) return false;
    readEarlierList(options);
    return true;
}

// A list that cannot be written stops the run before any copy changes.
bool songListWritable(const RunOptions& options) {
    if (trySongListReplacement(options.startFolder) == 0) return true;
    consoleLine("ERROR: Cannot write songlist.ini: %s", std::strerror(errno));
    return false;
}

// The playlist follows the list it is made from: a failure leaves the list
// as it is.
void finishPlaylist(SongListRun& run) {
    if (!run.options.playlist || writePlaylist(run) == 0) return;
    consoleLine("ERROR: Cannot write %s: %s", PLAYLIST, std::strerror(errno));
    ++run.tally.failures;
}

// The new list, once every copy it names is on the disk; false when it could
// not be written.
bool finishSongList(SongListRun& run) {
    if (!run.options.noCopy) keepEarlierRecords(run);
    const std::string list = songListText(run);
    if (!run.options.noCopy) finishCopies(run, listMarkOf(list));
    bool inPlace = false;
    if (writeSongList(run.options.startFolder, list, inPlace) == 0) {
        finishPlaylist(run);
        return true;
    }
    ++run.tally.failures;
    if (inPlace)
        consoleLine("ERROR: songlist.ini was written but may not be on the disk yet: %s", std::strerror(errno));
    else
        consoleLine("ERROR: Cannot write songlist.ini: %s", std::strerror(errno));
    return inPlace;
}

// Everything after the first line: the number of songs listed, or -1 when
// no list was written (said, and counted as a failure).
int listSongs(SongListRun& run) {
    if (!prepareOutput(run.options) || !songListWritable(run.options)) {
        ++run.tally.failures;
        return -1;
    }
    consoleLine("Getting artist list...");
    if (!scanArtists(run)) {
        ++run.tally.failures;
        // A refused run writes nothing: not even the music folder it made.
        // Something put in it since makes its removal fail, and it stays.
        if (run.options.musicCreated) runtime::removeEmptyFolder(run.options.startFolder, "music");
        return -1;
    }
    return finishSongList(run) ? int(stringListCount(run.masterList)) : -1;
}

}  // namespace

bool startLibrary() {
    override_config_data(SYSTEM_CONFIGURATION, sizeof SYSTEM_CONFIGURATION - 1);
    return install_allegro(SYSTEM_AUTODETECT, &errno, std::atexit) == 0;
}

int runSorvil(const CommandLine& command) {
    // Without an initialised library, opening a file whose name holds a '#'
    // crashes inside it, so the run cannot go on.
    if (!startLibrary()) {
        consoleLine("ERROR: Cannot initialise the Allegro library");
        return 1;
    }
    SongListRun run;
    run.options.noCopy = command.noCopy;
    run.options.playlist = command.playlist;
    if (!openStartFolder(command, run.options)) return 1;
    registerTextObjectType();

    consoleLine("Starting Sorvil...");
    const int listed = listSongs(run);
    consoleLine("%s", closingNote(run.tally, run.options.noCopy, listed).c_str());
    return listed < 0 || run.tally.failures > 0 ? 1 : 0;
}

}  // namespace sorvil
