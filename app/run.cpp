#include "app/run.h"

#include <allegro.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/console.h"
#include "app/file_io.h"
#include "app/scan.h"
#include "app/string_list.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

// This console tool needs no display. Automatic system selection is told to
// take the display-less driver, whose message output writes to the console
// (a windowing driver would open a dialog and wait for a click).
const char SYSTEM_CONFIGURATION[] = "[system]\nsystem = NONE\n";
const char SONG_LIST[] = "songlist.ini";

// An existing folder named "music" in any letter case: "music" itself when it
// is there, else the first of the others in byte order; empty when none is.
// False (errno set) when the starting folder cannot be read.
bool findMusicFolder(int startFolder, std::string& chosen) {
    std::vector<runtime::FolderEntry> entries;
    if (runtime::listFolder(startFolder, entries) != 0) return false;
    for (const runtime::FolderEntry& entry : entries) {
        if (!entry.isFolder || !isMusicFolderName(entry.name.c_str()) || chosen == "music") continue;
        if (chosen.empty() || entry.name == "music" || entry.name < chosen) chosen = entry.name;
    }
    return true;
}

// Opens the existing music folder, which must lie inside the starting folder:
// everything the run writes stays inside the folder it started in.
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

// Makes sure there is a music folder the copies can go to; false (reported)
// when there cannot be.
bool prepareMusicFolder(RunOptions& options) {
    std::string existing;
    if (!findMusicFolder(options.startFolder, existing)) {
        consoleLine("ERROR: Cannot read the folder the run started in: %s", std::strerror(errno));
        return false;
    }
    if (!existing.empty()) return openExistingMusicFolder(options, existing);
    struct stat info {};
    if (fstatat(options.startFolder, "music", &info, 0) == 0) {
        consoleLine("ERROR: \"music\" is not a directory; the songs cannot be copied into it");
        return false;
    }
    consoleLine("MUSIC directory does not exist; creating it...");
    if (errno != ENOENT || mkdirat(options.startFolder, "music", 0777) != 0 ||
        (options.musicFolder = runtime::openFolder(options.startFolder, "music")) < 0) {
        consoleLine("ERROR: Cannot create MUSIC directory: %s", std::strerror(errno));
        return false;
    }
    options.musicName = "music";
    return true;
}

// The record starts ("artist|title|file|") of the song list an earlier run
// left. A list that cannot be read only means every song is copied again,
// which loses nothing, so it is not reported.
void readEarlierList(RunOptions& options) {
    int handle = openat(options.startFolder, SONG_LIST, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) return;
    struct stat info {};
    std::string text;
    char block[65536];
    ssize_t got = 0;
    if (fstat(handle, &info) == 0 && S_ISREG(info.st_mode))
        while ((got = read(handle, block, sizeof block)) > 0) text.append(block, size_t(got));
    close(handle);
    if (got < 0) return;
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        size_t bar = text.rfind('|', end);
        if (bar != std::string::npos && bar >= start) options.earlierCopies.insert(text.substr(start, bar + 1 - start));
    }
}

// The list is written beside songlist.ini, flushed to the disk and renamed
// onto it only when complete: a failed write or a power cut leaves the old
// list or the new one, never a part of either, and a link in its place is
// replaced, never written through.
int writeSongList(const RunOptions& options) {
    const std::string partial = replacementName(SONG_LIST);
    unlinkat(options.startFolder, partial.c_str(), 0);  // left by an interrupted run
    int handle = -1;
    std::FILE* file = runtime::createTextFileAt(options.startFolder, partial.c_str(), &handle);
    if (!file) return -1;
    bool written = writeStringListTo(masterList, file, WRITE_LINES) == 0 && std::fflush(file) == 0 &&
                   fsync(handle) == 0;
    if (std::fclose(file) != 0) written = false;
    if (written && renameat(options.startFolder, partial.c_str(), options.startFolder, SONG_LIST) == 0) {
        // The rename itself is on the disk only once the folder is.
        int folder = openat(options.startFolder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        bool synced = folder >= 0 && fsync(folder) == 0;
        if (folder >= 0 && close(folder) != 0) synced = false;
        return synced ? 0 : -1;
    }
    unlinkat(options.startFolder, partial.c_str(), 0);
    return -1;
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
    RunOptions options;
    options.noCopy = command.noCopy;
    // Every later step works relative to this descriptor, so nothing depends
    // on the process's current folder or on finding the way back to it.
    const char* start = command.folder.empty() ? "." : command.folder.c_str();
    errno = command.folderError;
    if (errno == 0) options.startFolder = runtime::openFolder(kCurrentFolder, start);
    if (options.startFolder < 0 || faccessat(options.startFolder, ".", X_OK, AT_EACCESS) != 0) {
        std::fprintf(stderr, "sorvil: cannot enter '%s': %s\n", start, std::strerror(errno));
        return 1;
    }
    registerTextObjectType();

    consoleLine("Starting Sorvil...");
    if (options.noCopy) {
        consoleLine("Music files will not be copied to files with 8.3 file names.\n"
                    "The resulting SONGLIST.INI will require PELLMAR.");
    } else if (!prepareMusicFolder(options)) {
        return 1;
    } else {
        readEarlierList(options);
    }
    consoleLine("Getting artist list...");

    const bool listed = scanArtists(options);
    const int written = listed ? writeSongList(options) : 0;
    stringListFree(masterList);
    masterList = nullptr;
    if (written != 0) {
        consoleLine("ERROR: Cannot write songlist.ini");
        return 1;
    }
    return !listed || runIncomplete ? 1 : 0;
}

}  // namespace sorvil
