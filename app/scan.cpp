#include "app/scan.h"

#include <allegro.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "app/collection.h"
#include "app/collection_names.h"
#include "app/console.h"
#include "app/entry_order.h"
#include "app/music_folder.h"
#include "app/music_sync.h"
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
    bool listed = true;
    const std::string recordStart = run.options.noCopy
                                        ? ownFileRecord(run, artist, name, title)
                                        : copySong(run, artistFolder, artist, name, title, shownName, listed);
    if (recordStart.empty()) return;
    run.songSeconds = measureSong(run, artistFolder, name, shownName);
    consoleLine("%02d:%02d", run.songSeconds / 60, run.songSeconds % 60);
    // The list names only copies that hold their song.
    if (listed) appendRecord(run, recordStart, run.songSeconds);
}

void processSongs(SongListRun& run, int folder, const FoundArtist& artist) {
    const size_t count = artist.songs.size();
    for (size_t i = 0, prefetched = 0; i < count && !run.stopped; ++i) {
        for (; prefetched < count && prefetched <= i + PREFETCHED_SONGS; ++prefetched)
            prefetchSong(folder, artist.songs[prefetched].name.c_str());
        processSong(run, folder, artist.name.c_str(), artist.songs[i].name.c_str());
    }
}

void processArtist(SongListRun& run, const FoundArtist& artist) {
    consoleLine("\nProcessing songs for %s...", printable(artist.name).c_str());
    for (const std::string& message : artist.messages) consoleLine("%s", message.c_str());
    if (artist.songs.empty()) return;
    const int folder = runtime::openFolder(run.options.startFolder, artist.name.c_str());
    if (folder < 0) {
        consoleLine("ERROR: Cannot enter artist folder %s: %s", printable(artist.name).c_str(), std::strerror(errno));
        run.incomplete = true;
        return;
    }
    processSongs(run, folder, artist);
    close(folder);  // read only: nothing can be lost by its close
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

bool scanArtists(SongListRun& run) {
    run.artistList = stringListNew();
    run.masterList = stringListNew();
    if (!run.artistList || !run.masterList) {
        consoleLine("Cannot allocate TDO for artist list!\n");
        run.stopped = true;
        return false;
    }
    if (!forEachEntryInOrder(run, run.options.startFolder, "", true, onArtistEntry, &run, nullptr)) {
        consoleLine("ERROR: Cannot read the folder the run started in: %s", std::strerror(errno));
        return false;
    }
    if (run.stopped) return false;
    consoleLine("%d artist(s) found.", static_cast<int>(stringListCount(run.artistList)));
    if (musicFolderIsInsideAnArtist(run)) return false;
    const std::vector<FoundArtist> artists = gatherCollection(run);
    if (!run.options.noCopy && !run.stopped) prepareCopies(run, artists);
    for (size_t i = 0; i < artists.size() && !run.stopped; ++i) processArtist(run, artists[i]);
    return !run.stopped;
}

}  // namespace sorvil
