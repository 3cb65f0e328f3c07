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

void* loadTextData(PACKFILE* packedFile, long size) { return loadTextObject(packedFile, size); }
void destroyTextData(void* data) { stringListFree(static_cast<StringList>(data)); }

void startLibrary() {
    override_config_data(SYSTEM_CONFIGURATION, sizeof SYSTEM_CONFIGURATION - 1);
    // Everything the run uses from the library also works without a system
    // driver, so a failure here does not stop the run.
    install_allegro(SYSTEM_AUTODETECT, &errno, std::atexit);
}

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

int runSorvil(int argumentCount, char** arguments) {
    startLibrary();
    noCopy = argumentCount > 1 && ustricmp(arguments[1], "nocopy") == 0 ? 1 : 0;
    register_datafile_object(DAT_ID('T', 'E', 'X', 'T'), loadTextData, destroyTextData);

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
