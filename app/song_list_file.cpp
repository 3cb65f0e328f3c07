#include "app/song_list_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/console.h"
#include "platform/replacement_file.h"
#include "platform/runtime.h"

namespace sorvil {

const char SONG_LIST[] = "songlist.ini";

namespace {

std::string displayText(const char* text) {
    std::string shown = text;
    for (char& c : shown) {
        if (c == '|') c = '/';
        if (c == '\r' || c == '\n') c = ' ';
    }
    return shown;
}

}  // namespace

bool holdsRecordSeparator(const char* text) { return std::strpbrk(text, "|\r\n") != nullptr; }

std::string copyRecordStart(const char* artist, const char* title, const char* copyName) {
    return displayText(artist) + "|" + displayText(title) + "|" + copyName + "|";
}

std::string ownFileRecordStart(const char* artist, const char* title, const char* name) {
    return std::string(artist) + "|" + title + "|" + name + "|";
}

bool appendRecord(SongListRun& run, const std::string& recordStart, int seconds) {
    const std::string record = recordStart + std::to_string(seconds);
    StringList grown = stringListAppend(run.masterList, record.c_str());
    if (!grown) {
        consoleLine("Cannot add to master list!\n");
        run.stopped = true;
        return false;
    }
    run.masterList = grown;
    return true;
}

void readEarlierList(RunOptions& options) {
    const int handle = openat(options.startFolder, SONG_LIST, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
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
        const size_t bar = text.rfind('|', end);
        if (bar != std::string::npos && bar >= start) options.earlierCopies.insert(text.substr(start, bar + 1 - start));
    }
}

int writeSongList(const SongListRun& run) {
    ReplacementFile list;
    if (list.create(run.options.startFolder, SONG_LIST) != 0) return -1;
    std::FILE* text = runtime::textStreamOver(list.handle());
    if (!text) return -1;
    bool written = writeStringListTo(run.masterList, text, WRITE_LINES) == 0;
    const int error = errno;
    if (std::fclose(text) != 0 && written) return -1;  // the close writes what is still buffered
    if (!written) {
        errno = error;
        return -1;
    }
    return list.commit(true);
}

}  // namespace sorvil
