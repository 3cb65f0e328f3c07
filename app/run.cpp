#include "app/run.h"

#include <allegro.h>

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
std::string findMusicFolder() {
    std::vector<runtime::FolderEntry> entries;
    runtime::listFolder(".", entries);
    std::string chosen;
    for (const runtime::FolderEntry& entry : entries) {
        if (!entry.isFolder || !isMusicFolderName(entry.name.c_str()) || chosen == "music") continue;
        if (chosen.empty() || entry.name == "music" || entry.name < chosen) chosen = entry.name;
    }
    return chosen;
}

// Makes sure there is a music folder the copies can go to; false (reported)
// when there cannot be.
bool prepareMusicFolder() {
    std::string existing = findMusicFolder();
    int attributes = 0;
    if (existing.empty() && file_exists("music", FA_DIREC | FA_RDONLY | FA_ARCH, &attributes)) {
        if (!(attributes & FA_DIREC)) {
            consoleLine("ERROR: \"music\" is not a directory; the songs cannot be copied into it");
            return false;
        }
        existing = "music";
    }
    if (!existing.empty()) {
        // Everything the run writes stays inside the folder it started in.
        if (!runtime::liesInside(existing.c_str(), ".")) {
            consoleLine("ERROR: \"%s\" leads outside this folder; the songs cannot be copied into it",
                        existing.c_str());
            return false;
        }
        musicFolder = existing;
        consoleLine("MUSIC directory exists");
        return true;
    }
    consoleLine("MUSIC directory does not exist; creating it...");
    if (runtime::_mkdir("music") != 0) {
        consoleLine("ERROR: Cannot create MUSIC directory: %s", std::strerror(errno));
        return false;
    }
    musicFolder = "music";
    return true;
}

// The list is written beside songlist.ini and renamed onto it only when
// complete: a failed write leaves the old list exactly as it was, and a link
// in its place is replaced, never written through.
int writeSongList() {
    const std::string partial = replacementName(SONG_LIST);
    runtime::remove(partial.c_str());  // left by an interrupted run
    if (writeStringList(masterList, partial.c_str(), WRITE_LINES) == 0 &&
        runtime::rename(partial.c_str(), SONG_LIST) == 0)
        return 0;
    runtime::remove(partial.c_str());
    return -1;
}

}  // namespace

bool startLibrary() {
    override_config_data(SYSTEM_CONFIGURATION, sizeof SYSTEM_CONFIGURATION - 1);
    return install_allegro(SYSTEM_AUTODETECT, &errno, std::atexit) == 0;
}

int runSorvil(int argumentCount, char** arguments) {
    // Without an initialised library, opening a file whose name holds a '#'
    // crashes inside it, so the run cannot go on.
    if (!startLibrary()) {
        consoleLine("ERROR: Cannot initialise the Allegro library");
        return 1;
    }
    noCopy = argumentCount > 1 && ustricmp(arguments[1], "nocopy") == 0 ? 1 : 0;
    registerTextObjectType();

    consoleLine("Starting Sorvil...");
    if (noCopy) {
        consoleLine("Music files will not be copied to files with 8.3 file names.\n"
                    "The resulting SONGLIST.INI will require PELLMAR.");
    } else if (!prepareMusicFolder()) {
        return 1;
    }
    consoleLine("Getting artist list...");

    scanArtists();

    int written = writeSongList();
    stringListFree(masterList);
    masterList = nullptr;
    if (written != 0) {
        consoleLine("ERROR: Cannot write songlist.ini");
        return 1;
    }
    return runIncomplete ? 1 : 0;
}

}  // namespace sorvil
