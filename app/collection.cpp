#include "app/collection.h"

#include <allegro.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <tuple>

#include "app/collection_names.h"
#include "app/console.h"
#include "app/entry_order.h"
#include "app/scan.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

using runtime::FileIdentity;

struct IdentityOrder {
    bool operator()(const FileIdentity& a, const FileIdentity& b) const {
        return std::tie(a.device, a.inode) < std::tie(b.device, b.inode);
    }
};

// What the walk of the whole collection remembers, by identity: a link can
// give one folder many names.
struct CollectionWalk {
    SongListRun& run;
    // Folders that are no album: the artists' own, the music folder, and
    // every album walked so far, whose songs are already listed.
    std::set<FileIdentity, IdentityOrder> taken;
    // The folders from the one the run started in down to the one being
    // listed: a link back to one of them is a loop.
    std::vector<FileIdentity> onTheWay;
};

// The entries of one folder as the enumeration gathers them.
struct FolderGathering {
    SongListRun* run;
    StringList songs;
    StringList folders;
    std::vector<bool> plainFiles;  // the kind of each song, as the listing found it
};

// Opens the artist's folder, or says (in *failedStep, errno set) whether it
// could not be entered (searched) or, enterable, not read.
int openArtistFolder(int startFolder, const char* artist, const char** failedStep) {
    const int folder = runtime::openFolder(startFolder, artist);
    if (folder >= 0 && runtime::canEnter(folder, ".")) return folder;
    const int error = errno;
    const bool enterable = folder < 0 && runtime::canEnter(startFolder, artist);
    if (folder >= 0) runtime::closeFolder(folder);
    *failedStep = enterable ? "read" : "enter";
    errno = error;
    return -1;
}

// A folder that cannot be entered, read or examined is said (errno says why)
// and skipped: the artist's own folder, or one at `inside` in it.
void skipFolder(SongListRun& run, FoundArtist& artist, const std::string& inside, const char* what) {
    const std::string reason = std::strerror(errno);
    if (inside.empty())
        artist.messages.push_back(
            formatLine("ERROR: Cannot %s artist folder %s: %s", what, printable(artist.name).c_str(), reason.c_str()));
    else
        artist.messages.push_back(formatLine("ERROR: Cannot %s folder %s/%s: %s", what, printable(artist.name).c_str(),
                                             printable(inside).c_str(), reason.c_str()));
    ++run.tally.failures;
}

// Following it again would walk the same folders without end.
void sayLoop(SongListRun& run, FoundArtist& artist, const std::string& inside) {
    artist.messages.push_back(formatLine("ERROR: Cannot enter folder %s/%s: it leads back to a folder it lies in",
                                         printable(artist.name).c_str(), printable(inside).c_str()));
    ++run.tally.failures;
}

void gatherFolder(CollectionWalk& walk, FoundArtist& artist, int folder, const std::string& inside);

// A sub-folder is walked once, as the album of the first artist whose walk
// reaches it; a link back to a folder on the way is said, never followed.
void gatherSubFolder(CollectionWalk& walk, FoundArtist& artist, int parent, const std::string& inside,
                     const char* name) {
    const std::string path = inside.empty() ? std::string(name) : inside + "/" + name;
    const int folder = runtime::openFolder(parent, name);
    FileIdentity identity{};
    if (folder < 0) {
        skipFolder(walk.run, artist, path, "enter");
    } else if (!runtime::identityOf(folder, "", identity)) {
        skipFolder(walk.run, artist, path, "examine");
    } else if (std::find(walk.onTheWay.begin(), walk.onTheWay.end(), identity) != walk.onTheWay.end()) {
        sayLoop(walk.run, artist, path);
    } else if (walk.taken.insert(identity).second) {
        if (!runtime::canEnter(folder, ".")) {
            skipFolder(walk.run, artist, path, "enter");
        } else {
            walk.onTheWay.push_back(identity);
            gatherFolder(walk, artist, folder, path);
            walk.onTheWay.pop_back();
        }
    }
    if (folder >= 0) runtime::closeFolder(folder);
}

// The folder's own songs, then its sub-folders, each whole.
void gatherFolder(CollectionWalk& walk, FoundArtist& artist, int folder, const std::string& inside) {
    SongListRun& run = walk.run;
    const std::string shown = printable(inside.empty() ? artist.name : artist.name + "/" + inside) + "/";
    FolderGathering gathering{&run, stringListNew(), stringListNew(), {}};
    if (!gathering.songs || !gathering.folders) {
        consoleLine("Cannot allocate TDO for song list!\n");
        run.stopped = true;
    } else if (!forEachEntryInOrder(run, folder, shown, false, onSongEntry, &gathering, &artist.messages)) {
        skipFolder(run, artist, inside, "read");
    } else {
        for (intptr_t i = 0; i < stringListCount(gathering.songs); ++i)
            artist.songs.push_back({inside, gathering.songs[i], gathering.plainFiles[size_t(i)]});
        for (intptr_t i = 0; i < stringListCount(gathering.folders) && !run.stopped; ++i)
            gatherSubFolder(walk, artist, folder, inside, gathering.folders[i]);
    }
    if (gathering.songs) stringListFree(gathering.songs);
    if (gathering.folders) stringListFree(gathering.folders);
}

FoundArtist gatherArtist(CollectionWalk& walk, const char* name, const FileIdentity& identity) {
    FoundArtist artist{name, {}, {}};
    const char* failedStep = "";
    const int folder = openArtistFolder(walk.run.options.startFolder, name, &failedStep);
    if (folder < 0) {
        skipFolder(walk.run, artist, "", failedStep);
        return artist;
    }
    walk.onTheWay.push_back(identity);
    gatherFolder(walk, artist, folder, "");
    walk.onTheWay.pop_back();
    runtime::closeFolder(folder);
    return artist;
}

// A folder of the run that cannot be examined cannot be told from an album
// or a loop: said at once, and the walk goes on without knowing it.
bool examineRunFolder(SongListRun& run, int folder, const std::string& shownName, FileIdentity& identity) {
    if (runtime::identityOf(folder, "", identity)) return true;
    consoleLine("ERROR: Cannot examine %s: %s", shownName.c_str(), std::strerror(errno));
    ++run.tally.failures;
    return false;
}

// The folder the run started in is on the way to every album; it and the
// music folder are no album.
void takeRunFolders(CollectionWalk& walk) {
    const RunOptions& options = walk.run.options;
    FileIdentity identity{};
    if (examineRunFolder(walk.run, options.startFolder, "the folder the run started in", identity)) {
        walk.taken.insert(identity);
        walk.onTheWay.push_back(identity);
    }
    const std::string musicShown = "\"" + printable(options.musicName) + "\"";
    if (!options.noCopy && examineRunFolder(walk.run, options.musicFolder, musicShown, identity))
        walk.taken.insert(identity);
}

// An artist folder found, by identity, or the errno of its examination.
struct ArtistFolder {
    FileIdentity identity;
    int error;
};

// Every artist's folder is known before any is walked, so none is taken for
// an album of an artist before it.
std::vector<ArtistFolder> takeArtistFolders(CollectionWalk& walk) {
    std::vector<ArtistFolder> folders;
    for (intptr_t i = 0; i < stringListCount(walk.run.artistList); ++i) {
        ArtistFolder folder{{}, 0};
        if (runtime::identityOf(walk.run.options.startFolder, walk.run.artistList[i], folder.identity))
            walk.taken.insert(folder.identity);
        else
            folder.error = errno;
        folders.push_back(folder);
    }
    return folders;
}

}  // namespace

int onSongEntry(const char* name, int attributes, void* parameter) {
    auto& gathering = *static_cast<FolderGathering*>(parameter);
    if (isHidden(name) || (!(attributes & FA_DIREC) && !hasSongExtension(name))) return 0;
    StringList& list = (attributes & FA_DIREC) ? gathering.folders : gathering.songs;
    StringList grown = stringListAppend(list, name);
    if (!grown) {
        consoleLine("Cannot add to song list!\n");
        gathering.run->stopped = true;
        return 1;
    }
    list = grown;
    if (!(attributes & FA_DIREC)) gathering.plainFiles.push_back((attributes & FA_ARCH) != 0);
    return 0;
}

std::vector<FoundArtist> gatherCollection(SongListRun& run) {
    CollectionWalk walk{run, {}, {}};
    takeRunFolders(walk);
    const std::vector<ArtistFolder> folders = takeArtistFolders(walk);
    std::vector<FoundArtist> artists;
    for (size_t i = 0; i < folders.size() && !run.stopped; ++i) {
        if (folders[i].error == 0) {
            artists.push_back(gatherArtist(walk, run.artistList[i], folders[i].identity));
            continue;
        }
        artists.push_back(FoundArtist{run.artistList[i], {}, {}});
        errno = folders[i].error;
        skipFolder(run, artists.back(), "", "examine");
    }
    return artists;
}

}  // namespace sorvil
