#include "app/collection.h"

#include <allegro.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/collection_names.h"
#include "app/console.h"
#include "app/entry_order.h"
#include "app/scan.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

// The songs of one folder as the enumeration gathers them.
struct SongGathering {
    SongListRun* run;
    StringList songs;
    std::vector<bool> plainFiles;  // the kind of each song, as the listing found it
};

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

// An artist folder that cannot be entered or read is said and skipped.
void skipArtist(SongListRun& run, FoundArtist& artist, const char* what) {
    artist.messages.push_back(formatLine("ERROR: Cannot %s artist folder %s: %s", what,
                                         printable(artist.name).c_str(), std::strerror(errno)));
    run.incomplete = true;
}

void gatherSongs(SongListRun& run, int folder, FoundArtist& artist) {
    SongGathering gathering{&run, stringListNew(), {}};
    if (!gathering.songs) {
        consoleLine("Cannot allocate TDO for song list!\n");
        run.stopped = true;
        return;
    }
    if (!forEachEntryInOrder(run, folder, printable(artist.name) + "/", false, onSongEntry, &gathering,
                             &artist.messages))
        skipArtist(run, artist, "read");
    for (intptr_t i = 0; i < stringListCount(gathering.songs); ++i)
        artist.songs.push_back({gathering.songs[i], gathering.plainFiles[size_t(i)]});
    stringListFree(gathering.songs);
}

FoundArtist gatherArtist(SongListRun& run, const char* name) {
    FoundArtist artist{name, {}, {}};
    const char* failedStep = "";
    const int folder = openArtistFolder(run.options.startFolder, name, &failedStep);
    if (folder < 0) {
        skipArtist(run, artist, failedStep);
        return artist;
    }
    gatherSongs(run, folder, artist);
    close(folder);  // read only: nothing can be lost by its close
    return artist;
}

}  // namespace

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
    gathering.plainFiles.push_back((attributes & FA_ARCH) != 0);
    return 0;
}

std::vector<FoundArtist> gatherCollection(SongListRun& run) {
    std::vector<FoundArtist> artists;
    for (intptr_t i = 0; i < stringListCount(run.artistList) && !run.stopped; ++i)
        artists.push_back(gatherArtist(run, run.artistList[i]));
    return artists;
}

}  // namespace sorvil
