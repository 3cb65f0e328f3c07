#include "app/scan.h"

#include <allegro.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "app/collection_names.h"
#include "app/console.h"
#include "app/entry_order.h"
#include "app/music_folder.h"
#include "app/read_ahead.h"
#include "app/song_copy.h"
#include "app/song_list_file.h"
#include "app/song_measure.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

// The title's area: a file name is at most 255 bytes here.
constexpr size_t NAME_AREA = 256;

// How many songs ahead of the one being measured are asked from the disk:
// enough for the disk to work on several at once.
constexpr intptr_t PREFETCHED_SONGS = 8;

// The songs of one artist as the enumeration gathers them.
struct SongGathering {
    SongListRun* run;
    StringList songs;
};

// The title is the file name without its last four bytes (the ".mp3"),
// copied byte by byte: a name need not be UTF-8.
void formTitle(const char* name, char* title) {
    const size_t length = std::strlen(name);
    const size_t titleBytes = std::min(length >= 4 ? length - 4 : 0, NAME_AREA - 1);
    std::memcpy(title, name, titleBytes);
    title[titleBytes] = '\0';
}

// The record's start for a song listed under its own file, or empty (said)
// when its names cannot be carried by the list: no stand-in would name the
// real folder and file.
std::string ownFileRecord(SongListRun& run, const char* artist, const char* name, const char* title) {
    if (holdsRecordSeparator(artist) || holdsRecordSeparator(name)) {
        consoleLine("ERROR: Cannot list %s/%s in songlist.ini: a name there cannot hold '|', CR or LF",
                    printable(artist).c_str(), printable(name).c_str());
        run.incomplete = true;
        return {};
    }
    return ownFileRecordStart(artist, title, name);
}

void processSong(SongListRun& run, int artistFolder, const char* artist, const char* name) {
    char title[NAME_AREA];
    formTitle(name, title);
    if (!run.options.noCopy && run.songNumber == kFirstLongNumber)
        consoleLine("NOTE: more than %d songs; song%d.mp3 and the names after it are longer than 8.3",
                    kFirstLongNumber, kFirstLongNumber);
    consoleLineStart("  %s: ", printable(title).c_str());
    std::string shownName = name;
    const std::string recordStart = run.options.noCopy ? ownFileRecord(run, artist, name, title)
                                                       : copySong(run, artistFolder, artist, name, title, shownName);
    if (recordStart.empty()) return;
    run.songSeconds = measureSong(run, artistFolder, name, shownName);
    consoleLine("%02d:%02d", run.songSeconds / 60, run.songSeconds % 60);
    appendRecord(run, recordStart, run.songSeconds);
}

// An artist folder that cannot be entered or read is said and skipped.
void skipArtist(SongListRun& run, const char* what, const char* artist) {
    consoleLine("ERROR: Cannot %s artist folder %s: %s", what, printable(artist).c_str(), std::strerror(errno));
    run.incomplete = true;
}

// Opens the artist's folder, or says (in *failedStep, errno set) whether it
// could not be entered (searched) or, enterable, not read.
int openArtistFolder(int startFolder, const char* artist, const char** failedStep) {
    const int folder = runtime::openFolder(startFolder, artist);
    if (folder >= 0 && faccessat(folder, ".", X_OK, AT_EACCESS) == 0) return folder;
    const int error = errno;
    const bool enterable = folder < 0 && faccessat(startFolder, artist, X_OK, AT_EACCESS) == 0;
    if (folder >= 0) close(folder);
    *failedStep = enterable ? "read" : "enter";
    errno = error;
    return -1;
}

void processSongs(SongListRun& run, int folder, const char* artist, StringList songs) {
    const intptr_t count = stringListCount(songs);
    for (intptr_t i = 0, prefetched = 0; i < count && !run.stopped; ++i) {
        for (; prefetched < count && prefetched <= i + PREFETCHED_SONGS; ++prefetched)
            prefetchSong(folder, songs[prefetched]);
        processSong(run, folder, artist, songs[i]);
    }
}

void processArtist(SongListRun& run, const char* artist) {
    SongGathering gathering{&run, stringListNew()};
    if (!gathering.songs) {
        consoleLine("Cannot allocate TDO for song list!\n");
        run.stopped = true;
        return;
    }
    consoleLine("\nProcessing songs for %s...", printable(artist).c_str());
    const char* failedStep = "";
    const int folder = openArtistFolder(run.options.startFolder, artist, &failedStep);
    if (folder < 0) {
        skipArtist(run, failedStep, artist);
    } else {
        if (!forEachEntryInOrder(run, folder, printable(artist) + "/", false, onSongEntry, &gathering))
            skipArtist(run, "read", artist);
        if (!run.stopped) processSongs(run, folder, artist, gathering.songs);
        close(folder);  // read only: nothing can be lost by its close
    }
    stringListFree(gathering.songs);
}

}  // namespace

int onArtistEntry(const char* name, int attributes, void* parameter) {
    auto& run = *static_cast<SongListRun*>(parameter);
    if (isHidden(name) || isMusicFolderName(name) || !(attributes & FA_DIREC)) return 0;
    consoleLine("  %s", printable(name).c_str());
    StringList grown = stringListAppend(run.artistList, name);
    if (!grown) {
        consoleLine("Cannot add to artist list!\n");
        run.stopped = true;
        return 1;
    }
    run.artistList = grown;
    return 0;
}

int onSongEntry(const char* name, int attributes, void* parameter) {
    auto& gathering = *static_cast<SongGathering*>(parameter);
    if (isHidden(name) || (attributes & FA_DIREC) || !hasSongExtension(name)) return 0;
    StringList grown = stringListAppend(gathering.songs, name);
    if (!grown) {
        consoleLine("Cannot add to song list!\n");
        gathering.run->stopped = true;
        return 1;
    }
    gathering.songs = grown;
    return 0;
}

bool scanArtists(SongListRun& run) {
    run.artistList = stringListNew();
    run.masterList = stringListNew();
    if (!run.artistList || !run.masterList) {
        consoleLine("Cannot allocate TDO for artist list!\n");
        run.stopped = true;
        return false;
    }
    if (!forEachEntryInOrder(run, run.options.startFolder, "", true, onArtistEntry, &run)) {
        consoleLine("ERROR: Cannot read the folder the run started in: %s", std::strerror(errno));
        return false;
    }
    if (run.stopped) return false;
    consoleLine("%d artist(s) found.", static_cast<int>(stringListCount(run.artistList)));
    if (musicFolderIsInsideAnArtist(run)) return false;
    for (intptr_t i = 0; i < stringListCount(run.artistList) && !run.stopped; ++i) processArtist(run, run.artistList[i]);
    return !run.stopped;
}

}  // namespace sorvil
