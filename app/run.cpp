#include "app/run.h"

#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/scan.h"
#include "app/string_list.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

// This console tool needs no display. Automatic system selection is told to
// take the display-less driver, whose message output writes to the console
// (a windowing driver would open a dialog and wait for a click).
const char SYSTEM_CONFIGURATION[] = "[system]\nsystem = NONE\n";

// Makes sure "music" is a folder the copies can go to; false (reported) when
// it cannot be.
bool prepareMusicFolder() {
    int attributes = 0;
    if (file_exists("music", FA_DIREC | FA_RDONLY | FA_ARCH, &attributes)) {
        if (!(attributes & FA_DIREC)) {
            allegro_message("ERROR: \"music\" is not a directory; the songs cannot be copied into it\n");
            return false;
        }
        std::printf("MUSIC directory exists\n");
        return true;
    }
    std::printf("MUSIC directory does not exist; creating it...\n");
    if (runtime::_mkdir("music") != 0) {
        allegro_message("ERROR: Cannot create MUSIC directory: %s\n", std::strerror(errno));
        return false;
    }
    return true;
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
        allegro_message("ERROR: Cannot initialise the Allegro library\n");
        return 1;
    }
    noCopy = argumentCount > 1 && ustricmp(arguments[1], "nocopy") == 0 ? 1 : 0;
    registerTextObjectType();

    std::printf("Starting Sorvil...\n");
    if (noCopy) {
        std::printf("Music files will not be copied to files with 8.3 file names.\n"
                    "The resulting SONGLIST.INI will require PELLMAR.\n");
    } else if (!prepareMusicFolder()) {
        return 1;
    }
    std::printf("Getting artist list...\n");

    scanArtists();

    int written = writeStringList(masterList, "songlist.ini", WRITE_LINES);
    stringListFree(masterList);
    masterList = nullptr;
    if (written != 0) {
        allegro_message("ERROR: Cannot write songlist.ini\n");
        return 1;
    }
    return 0;
}

}  // namespace sorvil
