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

#include "app/console.h"
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
std::string musicFolder = "music";
bool runIncomplete = false;

namespace {

// The title's area: a file name is at most 255 bytes here.
constexpr size_t NAME_AREA = 256;

[[noreturn]] void failWithMessage(const char* message) {
    consoleLine("%s", message);
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

// The next character of a name: a valid UTF-8 sequence gives its code point,
// and any other byte stands for itself, read as Latin-1. (The library's own
// UTF-8 reading turns such bytes into '^' or takes them for the name's end.)
int nextCharacter(const unsigned char*& bytes) {
    unsigned lead = bytes[0];
    int length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    unsigned code = lead & (0xFFu >> (length + 1));
    for (int i = 1; i < length; ++i) {
        // The terminator is no continuation byte, so this never reads past it.
        if ((bytes[i] & 0xC0) != 0x80) {
            length = 1;
            break;
        }
        code = code << 6 | (bytes[i] & 0x3F);
    }
    bool overlongOrSurrogate = (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
                               (length == 4 && (code < 0x10000 || code > 0x10FFFF));
    if (length == 1 || overlongOrSurrogate) {
        ++bytes;
        return static_cast<int>(lead);
    }
    bytes += length;
    return static_cast<int>(code);
}

// Letter case first ignored (the library's folding, as for UTF-8 text), then
// byte by byte, so the order does not depend on the disk's enumeration order.
bool comesBefore(const runtime::FolderEntry& a, const runtime::FolderEntry& b) {
    auto* left = reinterpret_cast<const unsigned char*>(a.name.c_str());
    auto* right = reinterpret_cast<const unsigned char*>(b.name.c_str());
    for (;;) {
        int folded = utolower(nextCharacter(left)) - utolower(nextCharacter(right));
        if (folded != 0) return folded < 0;
        if (left[-1] == '\0') break;
    }
    return a.name < b.name;
}

// Hands the folders (or else the other entries) of the current folder to
// `callback` in name order, names byte for byte as the disk holds them (the
// library's own enumeration turns bytes that are not UTF-8 into '^'). False
// (errno set) when the folder cannot be read.
bool forEachEntryInOrder(bool folders, int (*callback)(const char*, int, void*)) {
    std::vector<runtime::FolderEntry> entries;
    if (runtime::listFolder(".", entries) != 0) return false;
    std::sort(entries.begin(), entries.end(), comesBefore);
    for (const runtime::FolderEntry& entry : entries)
        if (entry.isFolder == folders && callback(entry.name.c_str(), folders ? FA_DIREC : 0, nullptr) != 0) break;
    return true;
}

// The title is the file name without its last four bytes (the ".mp3"),
// copied byte by byte: a name need not be UTF-8.
void formTitle(const char* name, char* title) {
    size_t length = std::strlen(name);
    size_t titleBytes = std::min(length >= 4 ? length - 4 : 0, NAME_AREA - 1);
    std::memcpy(title, name, titleBytes);
    title[titleBytes] = '\0';
}

// A record's fields are separated by '|' and records by line ends.
bool holdsRecordSeparator(const char* text) { return std::strpbrk(text, "|\r\n") != nullptr; }

// Artist and title as display text in a record: '|' shown as '/', CR and LF
// as spaces.
std::string displayText(const char* text) {
    std::string shown = text;
    for (char& c : shown) {
        if (c == '|') c = '/';
        if (c == '\r' || c == '\n') c = ' ';
    }
    return shown;
}

// Measures the loaded song; 0 seconds when it cannot be loaded or no stream
// can be made over it. `shownName` is the name the error messages give.
int measureSong(const char* name, const char* shownName) {
    int seconds = 0;
    int size = loadWholeFile(name);
    if (size <= 0) {
        consoleLine("ERROR: Cannot load MP3 file %s", shownName);
        if (loadReadFailed) runIncomplete = true;
    } else if (Mp3Stream* stream = mp3StreamCreate(fileImage, size)) {
        seconds = mp3StreamLengthSeconds(stream);
        mp3StreamDestroy(stream);
    } else {
        consoleLine("ERROR: Cannot create MP3 %s", shownName);
    }
    std::free(fileImage);
    fileImage = nullptr;
    return seconds;
}

void processSong(const char* artist, const char* name, const char* startDirectory) {
    char title[NAME_AREA];
    formTitle(name, title);
    consoleLineStart("  %s: ", title);

    std::string fileField, shownName = name, record;
    if (noCopy) {
        // The record must name the real folder and file: no stand-in would.
        if (holdsRecordSeparator(artist) || holdsRecordSeparator(name)) {
            consoleLine("ERROR: Cannot list %s/%s in songlist.ini: a name there cannot hold '|', CR or LF", artist,
                        name);
            runIncomplete = true;
            return;
        }
        fileField = name;
        record = std::string(artist) + "|" + title + "|";
    } else {
        char copyName[32];
        std::snprintf(copyName, sizeof copyName, "song%04d.mp3", songNumber);
        ++songNumber;
        fileField = copyName;
        // Into the starting folder's "music" whatever the artist folder is: a
        // link's ".." is beside the folder it points at.
        std::string target = std::string(startDirectory) + "/" + musicFolder + "/" + fileField;
        shownName = "../" + musicFolder + "/" + fileField;
        if (copyFile(name, target.c_str()) != 0) {
            consoleLine("ERROR: Cannot copy MP3 file to %s", shownName.c_str());
            runIncomplete = true;
        }
        record = displayText(artist) + "|" + displayText(title) + "|";
    }

    songSeconds = measureSong(name, shownName.c_str());
    consoleLine("%02d:%02d", songSeconds / 60, songSeconds % 60);

    record += fileField + "|" + std::to_string(songSeconds);
    StringList grown = stringListAppend(masterList, record.c_str());
    if (!grown) failWithMessage("Cannot add to master list!\n");
    masterList = grown;
}

// An artist folder that cannot be entered or read is reported and skipped.
void skipArtist(const char* what, const char* artist) {
    consoleLine("ERROR: Cannot %s artist folder %s: %s", what, artist, std::strerror(errno));
    runIncomplete = true;
}

void processArtist(const char* artist, const char* startDirectory) {
    songList = stringListNew();
    if (!songList) failWithMessage("Cannot allocate TDO for song list!\n");
    consoleLine("\nProcessing songs for %s...", artist);
    if (runtime::_chdir(artist) != 0) {
        skipArtist("enter", artist);
    } else {
        if (!forEachEntryInOrder(false, onSongEntry)) skipArtist("read", artist);
        for (intptr_t i = 0; i < stringListCount(songList); ++i) processSong(artist, songList[i], startDirectory);
        // Back by the saved path rather than "..": an artist folder may be a link.
        runtime::_chdir(startDirectory);
    }
    stringListFree(songList);
    songList = nullptr;
}

}  // namespace

bool isMusicFolderName(const char* name) {
    // The length first: the folding comparison reads an overlong NUL as the end.
    return std::strlen(name) == 5 && ustricmp(name, "music") == 0;
}

int onArtistEntry(const char* name, int attributes, void*) {
    if (isHidden(name) || isMusicFolderName(name) || !(attributes & FA_DIREC)) return 0;
    consoleLine("  %s", name);
    StringList grown = stringListAppend(artistList, name);
    if (!grown) failWithMessage("Cannot add to artist list!\n");
    artistList = grown;
    return 0;
}

int onSongEntry(const char* name, int attributes, void*) {
    if (isHidden(name) || (attributes & FA_DIREC) || !hasSongExtension(name)) return 0;
    StringList grown = stringListAppend(songList, name);
    if (!grown) {
        consoleLine("Cannot add to song list!\n");
        std::exit(1);
    }
    songList = grown;
    return 0;
}

void scanArtists() {
    artistList = stringListNew();
    masterList = stringListNew();
    if (!artistList || !masterList) failWithMessage("Cannot allocate TDO for artist list!\n");
    char* startDirectory = runtime::_getcwd(nullptr, 0);
    if (!startDirectory) failWithMessage("Cannot find the current directory!\n");

    forEachEntryInOrder(true, onArtistEntry);
    consoleLine("%d artist(s) found.", static_cast<int>(stringListCount(artistList)));
    for (intptr_t i = 0; i < stringListCount(artistList); ++i) processArtist(artistList[i], startDirectory);

    std::free(startDirectory);
    stringListFree(artistList);
    artistList = nullptr;
}

}  // namespace sorvil
