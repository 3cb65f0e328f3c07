#include "app/scan.h"

#include <allegro.h>

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
#include "platform/file_status.h"
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

// The record's start for a song listed under its own file, its path inside
// the artist's folder, or empty (said) when its names cannot be carried by
// the list: no stand-in would name the real folders and file.
std::string ownFileRecord(SongListRun& run, const char* artist, const std::string& path, const char* title) {
    if (holdsRecordSeparator(artist) || holdsRecordSeparator(path.c_str())) {
        consoleLine("ERROR: Cannot list %s/%s in songlist.ini: a name there cannot hold '|', CR or LF",
                    printable(artist).c_str(), printable(path).c_str());
        ++run.tally.failures;
        return {};
    }
    return ownFileRecordStart(artist, title, path.c_str());
}

void processSong(SongListRun& run, int songFolder, const char* artist, const FoundSong& song) {
    const char* name = song.name.c_str();
    char title[NAME_AREA];
    formTitle(name, title);
    if (!run.options.noCopy && run.songNumber == kFirstLongNumber)
        consoleLine("NOTE: more than %d songs; song%d.mp3 and the names after it are longer than 8.3",
                    kFirstLongNumber, kFirstLongNumber);
    // Two albums may hold songs of one title: the folder tells them apart.
    consoleLineStart("  %s: ", printable(song.folder.empty() ? title : song.folder + "/" + title).c_str());
    bool listed = true;
    const PlannedCopy* planned = nullptr;
    const std::string recordStart = run.options.noCopy ? ownFileRecord(run, artist, song.path(), title)
                                                       : copySong(run, songFolder, artist, song, title, listed, planned);
    if (recordStart.empty()) return;
    // Messages name the file that was read: the song's own, not its copy.
    const std::string songFile = std::string(artist) + "/" + song.path();
    run.songSeconds = planned && planned->measured
                          ? reportMeasurement(run, planned->measurement, songFile)
                          : measureSong(run, songFolder, name, songFile, song.isPlainFile);
    consoleLine("%02d:%02d", run.songSeconds / 60, run.songSeconds % 60);
    // The list names only copies that hold their song.
    if (listed) appendRecord(run, recordStart, run.songSeconds);
}

// Opens the folder at `inside` the artist's folder one name at a time, so no
// path can outgrow the system's limit; the artist's folder itself for "".
// -1 with errno set.
int openFolderInside(int artistFolder, const std::string& inside) {
    int folder = artistFolder;
    for (size_t start = 0; start < inside.size();) {
        const size_t end = std::min(inside.find('/', start), inside.size());
        const int next = runtime::openFolder(folder, inside.substr(start, end - start).c_str());
        const int error = errno;
        if (folder != artistFolder) runtime::closeFolder(folder);
        if (next < 0) {
            errno = error;
            return -1;
        }
        folder = next;
        start = end + 1;
    }
    return folder;
}

// A song's folder is opened when the first of its songs comes, and closed
// when the songs of another come: one at a time, however many there are.
int openSongFolder(SongListRun& run, int artistFolder, const FoundArtist& artist, const std::string& inside) {
    const int folder = openFolderInside(artistFolder, inside);
    if (folder < 0) {
        consoleLine("ERROR: Cannot enter folder %s/%s: %s", printable(artist.name).c_str(), printable(inside).c_str(),
                    std::strerror(errno));
        ++run.tally.failures;
    }
    return folder;
}

// Whether the song, the plan's `number`th, was measured while the copies
// were planned: then nothing of it is read again unless it is copied.
bool measuredWhilePlanned(const SongListRun& run, size_t number) {
    return number < run.copies.songs.size() && run.copies.songs[number].measured;
}

// `firstNumber`: the artist's first song's place among all songs found.
void processSongs(SongListRun& run, int artistFolder, const FoundArtist& artist, size_t firstNumber) {
    const std::vector<FoundSong>& songs = artist.songs;
    int folder = artistFolder;
    std::string openedInside;
    const bool askAhead = !runtime::asksAheadInVain(artistFolder, "");
    for (size_t i = 0, prefetched = 0; i < songs.size() && !run.stopped; ++i) {
        // Asked through the artist's folder: the next songs may lie in the next albums.
        for (; askAhead && prefetched < songs.size() && prefetched <= i + PREFETCHED_SONGS; ++prefetched)
            if (songs[prefetched].isPlainFile && !measuredWhilePlanned(run, firstNumber + prefetched))
                prefetchSong(artistFolder, songs[prefetched].path().c_str());
        if (songs[i].folder != openedInside) {
            if (folder >= 0 && folder != artistFolder) runtime::closeFolder(folder);
            openedInside = songs[i].folder;
            folder = openSongFolder(run, artistFolder, artist, openedInside);
        }
        if (folder >= 0) processSong(run, folder, artist.name.c_str(), songs[i]);
    }
    if (folder >= 0 && folder != artistFolder) runtime::closeFolder(folder);
}

void processArtist(SongListRun& run, const FoundArtist& artist, size_t firstNumber) {
    consoleLine("\nProcessing songs for %s...", printable(artist.name).c_str());
    for (const std::string& message : artist.messages) consoleLine("%s", message.c_str());
    if (artist.songs.empty()) return;
    const int folder = runtime::openFolder(run.options.startFolder, artist.name.c_str());
    if (folder < 0) {
        consoleLine("ERROR: Cannot enter artist folder %s: %s", printable(artist.name).c_str(), std::strerror(errno));
        ++run.tally.failures;
        return;
    }
    processSongs(run, folder, artist, firstNumber);
    runtime::closeFolder(folder);
}

}  // namespace

int onArtistEntry(const char* name, int attributes, void* parameter) {
    auto& listing = *static_cast<ArtistListing*>(parameter);
    SongListRun& run = *listing.run;
    if (isHidden(name)) return 0;
    if (!(attributes & FA_DIREC)) {
        if (hasSongExtension(name)) ++listing.songsOutside;
        return 0;
    }
    if (isMusicFolderName(name)) return 0;
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
    ArtistListing listing{&run, 0};
    if (!forEachEntryInOrder(run, run.options.startFolder, "", true, onArtistEntry, &listing, nullptr)) {
        consoleLine("ERROR: Cannot read the folder the run started in: %s", std::strerror(errno));
        return false;
    }
    if (run.stopped) return false;
    consoleLine("%d artist(s) found.", static_cast<int>(stringListCount(run.artistList)));
    // They have no artist, yet were surely meant to be found.
    if (listing.songsOutside == 1) consoleLine("NOTE: 1 song outside an artist folder is not listed");
    if (listing.songsOutside > 1)
        consoleLine("NOTE: %d songs outside an artist folder are not listed", listing.songsOutside);
    if (collectionFoldersOverlap(run)) return false;
    const std::vector<FoundArtist> artists = gatherCollection(run);
    if (!run.options.noCopy && !run.stopped) prepareCopies(run, artists);
    for (size_t i = 0, firstNumber = 0; i < artists.size() && !run.stopped; firstNumber += artists[i++].songs.size())
        processArtist(run, artists[i], firstNumber);
    return !run.stopped;
}

}  // namespace sorvil
