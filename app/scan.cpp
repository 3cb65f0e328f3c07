// The artist and song scan: every artist folder, every song in it, one record
// per song.
#include "app/scan.h"

#include <allegro.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/file_io.h"
#include "mp3stream/mp3stream.h"
#include "platform/runtime.h"

namespace sorvil {

int noCopy = 0;
StringList masterList = nullptr;
StringList artistList = nullptr;
StringList songList = nullptr;
int songNumber = 0;
int songSeconds = 0;

namespace {

// Per-song areas: a file name is at most 255 bytes here.
constexpr size_t NAME_AREA = 256;
constexpr size_t RECORD_AREA = 4096;

[[noreturn]] void failWithMessage(const char* message) {
    allegro_message("%s", message);
    std::exit(1);
}

// Names starting with '.' (".", ".." included) are hidden on this platform.
bool isHidden(const char* name) { return name[0] == '.'; }

bool hasSongExtension(const char* name) {
    size_t length = std::strlen(name);
    if (length < 4) return false;
    const char* extension = name + length - 4;
    static const char wanted[] = ".mp3";
    for (int i = 0; i < 4; ++i)
        if (std::tolower(static_cast<unsigned char>(extension[i])) != wanted[i]) return false;
    return true;
}

struct DirectoryEntry {
    std::string name;
    int attributes;
};

int collectEntry(const char* name, int attributes, void* parameter) {
    static_cast<std::vector<DirectoryEntry>*>(parameter)->push_back({name, attributes});
    return 0;
}

// Letter case first ignored, then byte by byte, so the order does not depend
// on the disk's enumeration order.
bool comesBefore(const DirectoryEntry& a, const DirectoryEntry& b) {
    int folded = ustricmp(a.name.c_str(), b.name.c_str());
    if (folded != 0) return folded < 0;
    return std::strcmp(a.name.c_str(), b.name.c_str()) < 0;
}

// Enumerates the entries of the current folder matching `pattern` whose
// attributes have all of `required` and none of `excluded`, and hands them to
// `callback` in name order.
void forEachEntryInOrder(const char* pattern, int required, int excluded,
                         int (*callback)(const char*, int, void*)) {
    std::vector<DirectoryEntry> entries;
    for_each_file_ex(pattern, required, excluded, collectEntry, &entries);
    std::sort(entries.begin(), entries.end(), comesBefore);
    for (const DirectoryEntry& entry : entries)
        if (callback(entry.name.c_str(), entry.attributes, nullptr) != 0) break;
}

// The title is the file name without its last four bytes (the ".mp3").
void formTitle(const char* name, char* title) {
    size_t length = std::strlen(name);
    size_t titleBytes = length >= 4 ? length - 4 : 0;
    ustrzcpy(title, static_cast<int>(std::min(titleBytes + 1, NAME_AREA)), name);
}

// Measures the loaded song; 0 seconds when it cannot be loaded or no stream
// can be made over it. `shownName` is the name the error messages give.
int measureSong(const char* name, const char* shownName) {
    int seconds = 0;
    int size = loadWholeFile(name);
    if (size <= 0) {
        allegro_message("ERROR: Cannot load MP3 file %s", shownName);
    } else if (Mp3Stream* stream = mp3StreamCreate(fileImage, size)) {
        seconds = mp3StreamLengthSeconds(stream);
        mp3StreamDestroy(stream);
    } else {
        allegro_message("ERROR: Cannot create MP3 %s", shownName);
    }
    std::free(fileImage);
    fileImage = nullptr;
    return seconds;
}

void processSong(const char* artist, const char* name) {
    char title[NAME_AREA];
    char target[sizeof "../music/" + NAME_AREA];
    char fileField[NAME_AREA];
    char record[RECORD_AREA];

    formTitle(name, title);
    std::printf("  %s: ", title);

    const char* shownName = name;
    if (noCopy) {
        ustrzcpy(fileField, sizeof fileField, name);
    } else {
        std::snprintf(fileField, sizeof fileField, "song%04d.mp3", songNumber);
        ++songNumber;
        std::snprintf(target, sizeof target, "../music/%s", fileField);
        if (copyFile(name, target) != 0) allegro_message("ERROR: Cannot copy MP3 file to %s", target);
        shownName = target;
    }

    songSeconds = measureSong(name, shownName);
    std::printf("%02d:%02d\n", songSeconds / 60, songSeconds % 60);

    std::snprintf(record, sizeof record, "%s|%s|%s|%d", artist, title, fileField, songSeconds);
    StringList grown = stringListAppend(masterList, record);
    if (!grown) failWithMessage("Cannot add to master list!\n\n");
    masterList = grown;
}

void processArtist(const char* artist, const char* startDirectory) {
    songList = stringListNew();
    if (!songList) failWithMessage("Cannot allocate TDO for song list!\n\n");
    std::printf("\nProcessing songs for %s...\n", artist);
    if (runtime::_chdir(artist) != 0) {
        int error = errno;
        allegro_message("Cannot chdir!   Error #%d\n", error);
        std::exit(1);
    }
    forEachEntryInOrder("*.*", 0, FA_DIREC, onSongEntry);
    for (intptr_t i = 0; i < stringListCount(songList); ++i) processSong(artist, songList[i]);
    // Back by the saved path rather than "..": an artist folder may be a link.
    runtime::_chdir(startDirectory);
    stringListFree(songList);
    songList = nullptr;
}

}  // namespace

int onArtistEntry(const char* name, int attributes, void*) {
    if (isHidden(name) || ustricmp(name, "music") == 0 || !(attributes & FA_DIREC)) return 0;
    std::printf("  %s\n", name);
    StringList grown = stringListAppend(artistList, name);
    if (!grown) failWithMessage("Cannot add to artist list!\n\n");
    artistList = grown;
    return 0;
}

int onSongEntry(const char* name, int attributes, void*) {
    if (isHidden(name) || (attributes & FA_DIREC) || !hasSongExtension(name)) return 0;
    StringList grown = stringListAppend(songList, name);
    if (!grown) {
        std::printf("Cannot add to song list!\n\n");
        std::exit(1);
    }
    songList = grown;
    return 0;
}

void scanArtists() {
    artistList = stringListNew();
    masterList = stringListNew();
    if (!artistList || !masterList) failWithMessage("Cannot allocate TDO for artist list!\n\n");
    char* startDirectory = runtime::_getcwd(nullptr, 0);
    if (!startDirectory) failWithMessage("Cannot find the current directory!\n\n");

    forEachEntryInOrder("*.*", FA_DIREC, 0, onArtistEntry);
    std::printf("%d artist(s) found.\n", static_cast<int>(stringListCount(artistList)));
    for (intptr_t i = 0; i < stringListCount(artistList); ++i) processArtist(artistList[i], startDirectory);

    std::free(startDirectory);
    stringListFree(artistList);
    artistList = nullptr;
}

}  // namespace sorvil
