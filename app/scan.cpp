// The artist and song scan: every artist folder, every song in it, one record
// per song.
#include "app/scan.h"

#include <allegro.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

StringList masterList = nullptr;
StringList artistList = nullptr;
StringList songList = nullptr;
int songNumber = 0;
int songSeconds = 0;
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

// Hands the folders (or else the other entries) of the open folder to
// `callback` in name order, names byte for byte as the disk holds them (the
// library's own enumeration turns bytes that are not UTF-8 into '^'). An
// entry that the callback might want but whose kind cannot be found is
// reported: it is never left out without a word. False (errno set) when the
// folder cannot be read.
bool forEachEntryInOrder(int folder, const std::string& folderShown, bool folders,
                         int (*callback)(const char*, int, void*)) {
    std::vector<runtime::FolderEntry> entries;
    if (runtime::listFolder(folder, entries) != 0) return false;
    std::sort(entries.begin(), entries.end(), comesBefore);
    for (const runtime::FolderEntry& entry : entries) {
        const char* name = entry.name.c_str();
        if (entry.error != 0) {
            const bool wanted = !isHidden(name) && (folders ? !isMusicFolderName(name) : hasSongExtension(name));
            if (wanted) {
                consoleLine("ERROR: Cannot examine %s%s: %s", folderShown.c_str(), printable(name).c_str(),
                            std::strerror(entry.error));
                runIncomplete = true;
            }
            continue;
        }
        if (entry.isFolder == folders && callback(name, folders ? FA_DIREC : 0, nullptr) != 0) break;
    }
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

// Measures the song; 0 seconds when it cannot be loaded or no stream can be
// made over it. `shownName` is the name the error messages give.
int measureSong(int folder, const char* name, const std::string& shownName) {
    int seconds = 0;
    int size = loadWholeFile(folder, name);
    if (size <= 0) {
        consoleLine("ERROR: Cannot load MP3 file %s", printable(shownName).c_str());
        if (loadReadFailed) runIncomplete = true;
    } else if (Mp3Stream* stream = mp3StreamCreate(fileImage, size)) {
        seconds = mp3StreamLengthSeconds(stream);
        mp3StreamDestroy(stream);
    } else if (!fileImageWasCut()) {
        consoleLine("ERROR: Cannot create MP3 %s", printable(shownName).c_str());
    }
    if (fileImageWasCut()) {
        // The file shrank while it was read: whatever was measured is not it.
        consoleLine("ERROR: Cannot load MP3 file %s", printable(shownName).c_str());
        runIncomplete = true;
        seconds = 0;
    }
    releaseFileImage();
    return seconds;
}

// How many songs ahead of the one being measured are asked from the disk:
// enough for the disk to work on several at once.
constexpr intptr_t PREFETCHED_SONGS = 8;

// Copies beyond song9999.mp3 keep the same pattern, which no longer fits 8.3.
constexpr int FIRST_LONG_NUMBER = 10000;

// Copies the song into the music folder unless the earlier run's copy under
// the same name is this same song, unchanged. Gives the record's start.
std::string copySong(const RunOptions& options, int artistFolder, const char* artist, const char* name,
                     const char* title, std::string& shownName) {
    char copyName[32];
    std::snprintf(copyName, sizeof copyName, "song%04d.mp3", songNumber);
    ++songNumber;
    shownName = "../" + options.musicName + "/" + copyName;
    std::string listed = displayText(artist) + "|" + displayText(title) + "|" + copyName + "|";
    // Sizes and times alone could match another song of the same length
    // unpacked at the same second: the earlier list must name this song too.
    const bool current = options.earlierCopies.count(listed) != 0 &&
                         copyIsCurrent(artistFolder, name, options.musicFolder, copyName);
    if (!current && copyFile(artistFolder, name, options.musicFolder, copyName) != 0) {
        consoleLine("ERROR: Cannot copy MP3 file to %s", printable(shownName).c_str());
        runIncomplete = true;
    }
    return listed;
}

void processSong(const RunOptions& options, int artistFolder, const char* artist, const char* name) {
    char title[NAME_AREA];
    formTitle(name, title);
    if (!options.noCopy && songNumber == FIRST_LONG_NUMBER)
        consoleLine("NOTE: more than %d songs; song%d.mp3 and the names after it are longer than 8.3",
                    FIRST_LONG_NUMBER, FIRST_LONG_NUMBER);
    consoleLineStart("  %s: ", printable(title).c_str());
    std::string shownName = name, record;
    if (!options.noCopy) {
        record = copySong(options, artistFolder, artist, name, title, shownName);
    } else {
        // The record must name the real folder and file: no stand-in would.
        if (holdsRecordSeparator(artist) || holdsRecordSeparator(name)) {
            consoleLine("ERROR: Cannot list %s/%s in songlist.ini: a name there cannot hold '|', CR or LF",
                        printable(artist).c_str(), printable(name).c_str());
            runIncomplete = true;
            return;
        }
        record = std::string(artist) + "|" + title + "|" + name + "|";
    }

    songSeconds = measureSong(artistFolder, name, shownName);
    consoleLine("%02d:%02d", songSeconds / 60, songSeconds % 60);

    record += std::to_string(songSeconds);
    StringList grown = stringListAppend(masterList, record.c_str());
    if (!grown) failWithMessage("Cannot add to master list!\n");
    masterList = grown;
}

// An artist folder that cannot be entered or read is reported and skipped.
void skipArtist(const char* what, const char* artist) {
    consoleLine("ERROR: Cannot %s artist folder %s: %s", what, printable(artist).c_str(), std::strerror(errno));
    runIncomplete = true;
}

// Opens the artist's folder, or says (in *failedStep, errno set) whether it
// could not be entered (searched) or, enterable, not read.
int openArtistFolder(int startFolder, const char* artist, const char** failedStep) {
    int folder = runtime::openFolder(startFolder, artist);
    if (folder >= 0 && faccessat(folder, ".", X_OK, AT_EACCESS) == 0) return folder;
    const int error = errno;
    const bool enterable = folder < 0 && faccessat(startFolder, artist, X_OK, AT_EACCESS) == 0;
    if (folder >= 0) close(folder);
    *failedStep = enterable ? "read" : "enter";
    errno = error;
    return -1;
}

void processArtist(const RunOptions& options, const char* artist) {
    songList = stringListNew();
    if (!songList) failWithMessage("Cannot allocate TDO for song list!\n");
    consoleLine("\nProcessing songs for %s...", printable(artist).c_str());
    const char* failedStep = "";
    const int folder = openArtistFolder(options.startFolder, artist, &failedStep);
    if (folder < 0) {
        skipArtist(failedStep, artist);
    } else {
        if (!forEachEntryInOrder(folder, printable(artist) + "/", false, onSongEntry)) skipArtist("read", artist);
        const intptr_t count = stringListCount(songList);
        for (intptr_t i = 0, prefetched = 0; i < count; ++i) {
            for (; prefetched < count && prefetched <= i + PREFETCHED_SONGS; ++prefetched)
                prefetchSong(folder, songList[prefetched]);
            processSong(options, folder, artist, songList[i]);
        }
        close(folder);  // read only: nothing can be lost by its close
    }
    stringListFree(songList);
    songList = nullptr;
}

// Copies into a folder that is scanned as an artist, or lies inside one,
// would be taken for that artist's songs or replace them.
bool musicFolderIsInsideAnArtist(const RunOptions& options) {
    if (options.noCopy) return false;
    std::vector<runtime::FileIdentity> chain;  // the music folder and every folder above it in the collection
    runtime::foldersUpTo(options.musicFolder, options.startFolder, chain);
    for (intptr_t i = 0; i < stringListCount(artistList); ++i) {
        struct stat info {};
        if (fstatat(options.startFolder, artistList[i], &info, 0) != 0) continue;
        const runtime::FileIdentity artist{info.st_dev, info.st_ino};
        if (std::find(chain.begin(), chain.end(), artist) != chain.end()) {
            consoleLine("ERROR: \"%s\" lies inside the artist folder %s; the songs cannot be copied into it",
                        printable(options.musicName).c_str(), printable(artistList[i]).c_str());
            return true;
        }
    }
    return false;
}

}  // namespace

bool isMusicFolderName(const char* name) {
    // The length first: the folding comparison reads an overlong NUL as the end.
    return std::strlen(name) == 5 && ustricmp(name, "music") == 0;
}

int onArtistEntry(const char* name, int attributes, void*) {
    if (isHidden(name) || isMusicFolderName(name) || !(attributes & FA_DIREC)) return 0;
    consoleLine("  %s", printable(name).c_str());
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

bool scanArtists(const RunOptions& options) {
    artistList = stringListNew();
    masterList = stringListNew();
    if (!artistList || !masterList) failWithMessage("Cannot allocate TDO for artist list!\n");

    bool listed = forEachEntryInOrder(options.startFolder, "", true, onArtistEntry);
    if (!listed) {
        consoleLine("ERROR: Cannot read the folder the run started in: %s", std::strerror(errno));
    } else {
        consoleLine("%d artist(s) found.", static_cast<int>(stringListCount(artistList)));
        listed = !musicFolderIsInsideAnArtist(options);
        for (intptr_t i = 0; listed && i < stringListCount(artistList); ++i) processArtist(options, artistList[i]);
    }
    stringListFree(artistList);
    artistList = nullptr;
    return listed;
}

}  // namespace sorvil
