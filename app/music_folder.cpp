#include "app/music_folder.h"


#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "app/collection_names.h"
#include "app/console.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

// "music" itself when it is there, else the first of the others in byte
// order; empty when none is. False (errno set) when the starting folder
// cannot be read.
bool findMusicFolder(int startFolder, std::string& chosen) {
    std::vector<runtime::FolderEntry> entries;
    if (runtime::listFolder(startFolder, entries) != 0) return false;
    for (const runtime::FolderEntry& entry : entries) {
        if (!entry.isFolder || !isMusicFolderName(entry.name.c_str()) || chosen == "music") continue;
        if (chosen.empty() || entry.name == "music" || entry.name < chosen) chosen = entry.name;
    }
    return true;
}

// Everything the run writes stays inside the folder it started in.
bool openExistingMusicFolder(RunOptions& options, const std::string& name) {
    options.musicFolder = runtime::openFolder(options.startFolder, name.c_str());
    if (options.musicFolder < 0) {
        consoleLine("ERROR: Cannot enter \"%s\": %s", printable(name).c_str(), std::strerror(errno));
        return false;
    }
    std::vector<runtime::FileIdentity> passed;
    if (!runtime::foldersUpTo(options.musicFolder, options.startFolder, passed)) {
        consoleLine("ERROR: \"%s\" leads outside this folder; the songs cannot be copied into it",
                    printable(name).c_str());
        return false;
    }
    options.musicName = name;
    consoleLine("MUSIC directory exists");
    return true;
}

}  // namespace

bool prepareMusicFolder(RunOptions& options) {
    std::string existing;
    if (!findMusicFolder(options.startFolder, existing)) {
        consoleLine("ERROR: Cannot read the folder the run started in: %s", std::strerror(errno));
        return false;
    }
    if (!existing.empty()) return openExistingMusicFolder(options, existing);
    if (runtime::exists(options.startFolder, "music")) {
        consoleLine("ERROR: \"music\" is not a directory; the songs cannot be copied into it");
        return false;
    }
    consoleLine("MUSIC directory does not exist; creating it...");
    if (errno != ENOENT || runtime::makeFolder(options.startFolder, "music") != 0 ||
        (options.musicFolder = runtime::openFolder(options.startFolder, "music")) < 0) {
        consoleLine("ERROR: Cannot create MUSIC directory: %s", std::strerror(errno));
        return false;
    }
    options.musicName = "music";
    options.musicCreated = true;
    return true;
}

bool collectionFoldersOverlap(const SongListRun& run) {
    const RunOptions& options = run.options;
    std::vector<runtime::FileIdentity> copiesChain;  // the music folder and every folder above it in the collection
    if (!options.noCopy && runtime::foldersUpTo(options.musicFolder, options.startFolder, copiesChain) &&
        copiesChain.empty()) {
        consoleLine("ERROR: \"%s\" is the folder the run started in; the songs cannot be copied into it",
                    printable(options.musicName).c_str());
        return true;
    }
    std::vector<runtime::FileIdentity> collectionChain;  // the folder the run started in and every one above it
    runtime::foldersUpToTheRoot(options.startFolder, collectionChain);
    for (intptr_t i = 0; i < stringListCount(run.artistList); ++i) {
        runtime::FileIdentity artist{};
        if (!runtime::identityOf(options.startFolder, run.artistList[i], artist)) continue;
        if (std::find(collectionChain.begin(), collectionChain.end(), artist) != collectionChain.end()) {
            consoleLine("ERROR: The artist folder %s is the folder the run started in, or holds it; the "
                        "collection cannot be one of its artists",
                        printable(run.artistList[i]).c_str());
            return true;
        }
        if (std::find(copiesChain.begin(), copiesChain.end(), artist) != copiesChain.end()) {
            consoleLine("ERROR: \"%s\" lies inside the artist folder %s; the songs cannot be copied into it",
                        printable(options.musicName).c_str(), printable(run.artistList[i]).c_str());
            return true;
        }
    }
    return false;
}

}  // namespace sorvil
