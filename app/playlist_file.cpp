#include "app/playlist_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/collection_names.h"
#include "app/console.h"
#include "platform/file_status.h"
#include "platform/replacement_file.h"
#include "platform/runtime.h"

namespace sorvil {

const char PLAYLIST[] = "songlist.m3u8";

namespace {

const char HEADER[] = "#EXTM3U\r\n";
// As large as the largest list read back.
constexpr uint64_t LARGEST_PLAYLIST = 32 << 20;

// A path starting with '#' would be taken for a comment.
std::string entryPath(const std::string& path) { return path[0] == '#' ? "./" + path : path; }

// "artist|title|file|seconds": no field of a record holds a '|'. Empty when
// the record is not one.
std::string playlistEntry(const std::string& record, bool noCopy, const std::string& musicName) {
    const size_t title = record.find('|'), file = record.find('|', title + 1), seconds = record.rfind('|');
    if (title == std::string::npos || file == std::string::npos || seconds <= file) return {};
    const std::string artist = record.substr(0, title);
    const std::string fileField = record.substr(file + 1, seconds - file - 1);
    return "#EXTINF:" + record.substr(seconds + 1) + "," + artist + " - " + record.substr(title + 1, file - title - 1) +
           "\r\n" + entryPath((noCopy ? artist : musicName) + "/" + fileField) + "\r\n";
}

// A path the playlist gives for a copy in the music folder (any letter case)
// that is about to change.
bool namesTouchedCopy(std::string path, const std::unordered_set<std::string>& touched) {
    if (path.compare(0, 2, "./") == 0) path.erase(0, 2);
    const size_t slash = path.find('/');
    return slash != std::string::npos && isMusicFolderName(path.substr(0, slash).c_str()) &&
           touched.count(path.substr(slash + 1));
}

// The playlist without the touched copies' entries: their paths and the
// #EXTINF lines before them. `dropped` says whether one was there.
std::string withoutEntries(const std::string& text, const std::unordered_set<std::string>& touched, bool& dropped) {
    std::string kept, pending;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end + 1 - start);
        const std::string path = line.substr(0, line.find_first_of("\r\n"));
        if (path.compare(0, 8, "#EXTINF:") == 0) {
            pending += line;
            continue;
        }
        if (!path.empty() && path[0] != '#' && namesTouchedCopy(path, touched)) {
            dropped = true;
        } else {
            kept += pending + line;
        }
        pending.clear();
    }
    return kept + pending;
}

int replacePlaylist(int startFolder, const std::string& text) {
    ReplacementFile playlist;
    if (playlist.create(startFolder, PLAYLIST) != 0 ||
        !runtime::writeAll(playlist.handle(), text.data(), text.size()))
        return -1;
    return playlist.commit(true);
}

}  // namespace

std::string playlistText(const std::vector<std::string>& records, bool noCopy, const std::string& musicName) {
    std::string text = HEADER;
    for (const std::string& record : records) text += playlistEntry(record, noCopy, musicName);
    return text;
}

bool playlistThere(int startFolder) {
    runtime::FileStatus ignored;
    return runtime::linkStatusOf(startFolder, PLAYLIST, ignored) == 0;
}

int writePlaylist(const SongListRun& run) {
    std::vector<std::string> records;
    for (intptr_t i = 0; i < stringListCount(run.masterList); ++i) records.push_back(run.masterList[i]);
    return replacePlaylist(run.options.startFolder,
                           playlistText(records, run.options.noCopy, run.options.musicName));
}

bool dropChangingEntries(SongListRun& run, const std::unordered_set<std::string>& touched) {
    if (touched.empty()) return true;
    const int startFolder = run.options.startFolder;
    std::string text;
    const bool read = runtime::readSmallFile(startFolder, PLAYLIST, LARGEST_PLAYLIST, text) == 0;
    if (!read && errno == ENOENT) return true;
    bool dropped = !read;
    const std::string kept = read ? withoutEntries(text, touched, dropped) : HEADER;
    if (!dropped) return true;
    if (replacePlaylist(startFolder, kept) == 0) return true;
    consoleLine("ERROR: Cannot write %s: %s", PLAYLIST, std::strerror(errno));
    ++run.tally.failures;
    if (runtime::removeFile(startFolder, PLAYLIST) == 0 || errno == ENOENT) return true;
    consoleLine("ERROR: Cannot remove %s: %s", PLAYLIST, std::strerror(errno));
    ++run.tally.failures;
    return false;
}

}  // namespace sorvil
