#include "app/song_list_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "app/console.h"
#include "platform/replacement_file.h"
#include "platform/runtime.h"

namespace sorvil {

const char SONG_LIST[] = "songlist.ini";

namespace {

// Some 200,000 records: an earlier list beyond this is beyond sense.
constexpr uint64_t LARGEST_EARLIER_LIST = 16 << 20;

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
    std::string text;
    const bool read = runtime::readSmallFile(options.startFolder, SONG_LIST, LARGEST_EARLIER_LIST, text) == 0;
    options.earlierListRead = read || errno == ENOENT;  // no list at all is an empty one
    if (!read) return;
    options.earlierListMark = listMarkOf(text);
    // A player may take a bare LF, or a last line without its end, as a record too.
    for (size_t start = 0, end = 0; start < text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size());
        const size_t cut = end > start && text[end - 1] == '\r' ? end - 1 : end;
        options.earlierRecords.push_back(text.substr(start, cut - start));
    }
}

std::string recordFile(const std::string& record) {
    const size_t last = record.rfind('|');
    const size_t before = last == std::string::npos || last == 0 ? std::string::npos : record.rfind('|', last - 1);
    return before == std::string::npos ? std::string() : record.substr(before + 1, last - before - 1);
}

int trySongListReplacement(int startFolder) {
    ReplacementFile list;
    return list.create(startFolder, SONG_LIST);  // removed again as the file goes out of scope
}

std::string songListText(const std::vector<std::string>& records) {
    std::string text;
    for (const std::string& record : records) text += record + "\r\n";
    return text;
}

std::string songListText(const SongListRun& run) {
    std::vector<std::string> records;
    for (intptr_t i = 0; i < stringListCount(run.masterList); ++i) records.push_back(run.masterList[i]);
    return songListText(records);
}

int prepareSongList(ReplacementFile& list, int startFolder, const std::string& text) {
    if (list.create(startFolder, SONG_LIST) != 0 || !runtime::writeAll(list.handle(), text.data(), text.size()))
        return -1;
    return 0;
}

int writeSongList(int startFolder, const std::string& text, bool& inPlace) {
    inPlace = false;
    ReplacementFile list;
    if (prepareSongList(list, startFolder, text) != 0) return -1;
    const int result = list.commit(true);
    inPlace = list.replaced();
    return result;
}

}  // namespace sorvil
