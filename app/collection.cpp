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
    std::set<FileIdentity, IdentityOrder> onTheWay;
};

// A folder on the way down, open, with the sub-folders still to walk.
struct WalkStep {
    int folder;
    FileIdentity identity;
    std::vector<std::string> subFolders;
    size_t next = 0;
    size_t pathLength = 0;  // of the walk's path down to this folder
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

void sayTooDeep(SongListRun& run, FoundArtist& artist, const std::string& inside) {
    artist.messages.push_back(formatLine("ERROR: Cannot enter folder %s/%s: it lies more than %d folders deep",
                                         printable(artist.name).c_str(), printable(inside).c_str(), kDeepestAlbum));
    ++run.tally.failures;
}

// The folder's own songs into the artist's, and its sub-folders in order;
// false when it cannot be read (said) or memory ran out (the run stopped).
bool gatherFolder(CollectionWalk& walk, FoundArtist& artist, int folder, const std::string& inside,
                  std::vector<std::string>& subFolders) {
    SongListRun& run = walk.run;
    const std::string shown = printable(inside.empty() ? artist.name : artist.name + "/" + inside) + "/";
    FolderGathering gathering{&run, stringListNew(), stringListNew(), {}};
    bool gathered = false;
    if (!gathering.songs || !gathering.folders) {
        consoleLine("Cannot allocate TDO for song list!\n");
        run.stopped = true;
    } else if (!forEachEntryInOrder(run, folder, shown, false, onSongEntry, &gathering, &artist.messages)) {
        skipFolder(run, artist, inside, "read");
    } else {
        for (intptr_t i = 0; i < stringListCount(gathering.songs); ++i)
            artist.songs.push_back({inside, gathering.songs[i], gathering.plainFiles[size_t(i)]});
        subFolders.assign(gathering.folders, gathering.folders + stringListCount(gathering.folders));
        gathered = !run.stopped;
    }
    if (gathering.songs) stringListFree(gathering.songs);
    if (gathering.folders) stringListFree(gathering.folders);
    return gathered;
}

// The sub-folder at `inside`, opened when it is an album to walk: not one
// walked before, nor a loop (said), nor one that cannot be entered (said).
// -1 otherwise.
int openAlbum(CollectionWalk& walk, FoundArtist& artist, int parent, const std::string& inside, const char* name,
              FileIdentity& identity) {
    const int folder = runtime::openFolder(parent, name);
    bool album = false;
    if (folder < 0)
        skipFolder(walk.run, artist, inside, "enter");
    else if (!runtime::identityOf(folder, "", identity))
        skipFolder(walk.run, artist, inside, "examine");
    else if (walk.onTheWay.count(identity))
        sayLoop(walk.run, artist, inside);
    else if (!walk.taken.insert(identity).second)
        ;  // walked before, as another's album or through another link
    else if (!runtime::canEnter(folder, "."))
        skipFolder(walk.run, artist, inside, "enter");
    else
        album = true;
    if (!album && folder >= 0) runtime::closeFolder(folder);
    return album ? folder : -1;
}

// The artist's folder and every album in it, each whole before the next, in
// a loop rather than by recursion: no depth of folders can exhaust the
// stack, and the memory grows with the depth, one step and one name a level.
void walkArtist(CollectionWalk& walk, FoundArtist& artist, int artistFolder, const FileIdentity& identity) {
    std::vector<WalkStep> way(1, WalkStep{artistFolder, identity, {}, 0, 0});
    std::string inside;  // the path of the folder on top of the way
    walk.onTheWay.insert(identity);
    if (!gatherFolder(walk, artist, artistFolder, inside, way.back().subFolders)) way.back().subFolders.clear();
    while (!way.empty()) {
        WalkStep& step = way.back();
        if (step.next == step.subFolders.size() || walk.run.stopped) {
            if (step.folder != artistFolder) runtime::closeFolder(step.folder);
            walk.onTheWay.erase(step.identity);
            way.pop_back();
            if (!way.empty()) inside.resize(way.back().pathLength);
            continue;
        }
        const std::string& name = step.subFolders[step.next++];
        inside.resize(step.pathLength);
        inside += (inside.empty() ? "" : "/") + name;
        if (way.size() > size_t(kDeepestAlbum)) {
            sayTooDeep(walk.run, artist, inside);
            continue;
        }
        FileIdentity album{};
        const int folder = openAlbum(walk, artist, step.folder, inside, name.c_str(), album);
        if (folder < 0) continue;
        WalkStep down{folder, album, {}, 0, inside.size()};
        walk.onTheWay.insert(album);
        gatherFolder(walk, artist, folder, inside, down.subFolders);  // what cannot be read has no sub-folders
        way.push_back(std::move(down));
    }
}

FoundArtist gatherArtist(CollectionWalk& walk, const char* name, const FileIdentity& identity) {
    FoundArtist artist{name, {}, {}};
    const char* failedStep = "";
    const int folder = openArtistFolder(walk.run.options.startFolder, name, &failedStep);
    if (folder < 0) {
        skipFolder(walk.run, artist, "", failedStep);
        return artist;
    }
    walkArtist(walk, artist, folder, identity);
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
        walk.onTheWay.insert(identity);
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
