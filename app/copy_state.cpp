#include "app/copy_state.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

#include "platform/replacement_file.h"
#include "platform/runtime.h"

namespace sorvil {

const char COPY_STATE[] = ".sorvil-copies";

namespace {

const char HEADER[] = "sorvil copies 1\n";
// A line no earlier reader takes for a record.
const char PLAYLIST_KEPT[] = "m songlist.m3u8";
// Some 60,000 records: far beyond any card, small enough to read whole.
constexpr uint64_t LARGEST_STATE = 8 << 20;
constexpr size_t LONGEST_NAME = 64;

size_t digitsFrom(const std::string& name, size_t start) {
    size_t end = start;
    while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
    return end - start;
}

// "song", four digits or more, then `end`, then any digits when `numbered`.
bool isNumberedName(const std::string& name, size_t start, const std::string& end, bool numbered) {
    const size_t digits = digitsFrom(name, start);
    const size_t after = start + digits + end.size();
    return digits >= 4 && name.compare(start + digits, end.size(), end) == 0 &&
           (after == name.size() || (numbered && digitsFrom(name, after) == name.size() - after));
}

// "l SIZE DIGEST": the list the record vouches for.
bool parseListMark(const std::string& line, ListMark& mark) {
    unsigned long long size = 0, digest = 0;
    int used = 0;
    if (std::sscanf(line.c_str(), "l %llu %llx%n", &size, &digest, &used) != 2 || size_t(used) != line.size())
        return false;
    mark = {true, size, digest};
    return true;
}

const char NO_DIGEST[] = "-";

// "v" (told by its file system's identity) or "c" (by content), the name,
// the song's and the copy's identities, the digest and whether it is proven.
std::string recordLine(const CopyRecord& record) {
    if (!record.vouched) return "p " + record.name + "\n";
    const SourceIdentity& s = record.source;
    const CopyIdentity& c = record.copy;
    char fields[320];
    std::snprintf(fields, sizeof fields, " %llu %llu %llu %lld %lld %lld %lld %llu %llu %lld %lld %lld %lld",
                  (unsigned long long)s.device, (unsigned long long)s.inode, (unsigned long long)s.size,
                  (long long)s.modifiedSeconds, (long long)s.modifiedNanoseconds, (long long)s.changedSeconds,
                  (long long)s.changedNanoseconds, (unsigned long long)c.inode, (unsigned long long)c.size,
                  (long long)c.modifiedSeconds, (long long)c.modifiedNanoseconds, (long long)c.changedSeconds,
                  (long long)c.changedNanoseconds);
    const std::string digest = record.hasDigest ? digestText(record.digest) : NO_DIGEST;
    return (record.byContent ? "c " : "v ") + record.name + fields + " " + digest + (record.proven ? " 1\n" : " 0\n");
}

// The digest and proof that end a line; an older line without them vouches
// for nothing proven.
bool parseProof(const char* rest, CopyRecord& record) {
    char digest[40] = "";
    int proven = 0, used = 0;
    if (std::sscanf(rest, " %39s %d%n", digest, &proven, &used) != 2 || rest[used] != '\0' || proven < 0 ||
        proven > 1)
        return false;
    record.hasDigest = std::string(digest) != NO_DIGEST;
    if (record.hasDigest && !parseDigest(digest, record.digest)) return false;
    record.proven = proven == 1;
    return !record.byContent || record.hasDigest;
}

// A line that is not whole or not of the run's own names is no record.
bool parseRecord(const std::string& line, CopyRecord& record) {
    char kind = 0;
    char name[LONGEST_NAME + 1] = "";
    unsigned long long u[5] = {};
    long long t[8] = {};
    int used = 0, numbersEnd = 0;
    if (std::sscanf(line.c_str(), "%c %64s%n", &kind, name, &used) != 2) return false;
    record.name = name;
    if (!isOwnCopyName(record.name)) return false;
    if (kind == 'p') return size_t(used) == line.size();
    if (kind != 'v' && kind != 'c') return false;
    const char* numbers = line.c_str() + used;
    const int fields = std::sscanf(numbers, " %llu %llu %llu %lld %lld %lld %lld %llu %llu %lld %lld %lld %lld%n",
                                   &u[0], &u[1], &u[2], &t[0], &t[1], &t[2], &t[3], &u[3], &u[4], &t[4], &t[5], &t[6],
                                   &t[7], &numbersEnd);
    if (fields != 13) return false;
    record.vouched = true;
    record.byContent = kind == 'c';
    record.source = {u[0], u[1], u[2], t[0], t[1], t[2], t[3]};
    record.copy = {u[3], u[4], t[4], t[5], t[6], t[7]};
    return numbers[numbersEnd] == '\0' ? !record.byContent : parseProof(numbers + numbersEnd, record);
}

}  // namespace

SourceIdentity sourceIdentityOf(const runtime::FileStatus& status) {
    return {status.device, status.inode, status.size, status.modifiedSeconds, status.modifiedNanoseconds,
            status.changedSeconds, status.changedNanoseconds};
}

CopyIdentity copyIdentityOf(const runtime::FileStatus& status) {
    return {status.inode, status.size, status.modifiedSeconds, status.modifiedNanoseconds, status.changedSeconds,
            status.changedNanoseconds};
}

ListMark listMarkOf(const std::string& listText) {
    uint64_t digest = 14695981039346656037u;  // FNV-1a
    for (const unsigned char byte : listText) digest = (digest ^ byte) * 1099511628211u;
    return {true, listText.size(), digest};
}

bool isOwnCopyName(const std::string& name) {
    if (name.size() > LONGEST_NAME) return false;
    if (name.compare(0, 4, "song") == 0) return isNumberedName(name, 4, ".mp3", false);
    return name.compare(0, 5, ".song") == 0 &&
           (isNumberedName(name, 5, ".mp3.move", false) || isNumberedName(name, 5, ".mp3.partial", true));
}

std::string movingName(int number) {
    char name[32];
    std::snprintf(name, sizeof name, ".song%04d.mp3.move", number);
    return name;
}

std::string partialName(const std::string& copyName, int attempt) {
    return "." + copyName + ".partial" + (attempt == 0 ? std::string() : std::to_string(attempt));
}

std::vector<CopyRecord> readCopyState(int musicFolder, ListMark& vouchedList, bool& keepsPlaylist) {
    std::vector<CopyRecord> records;
    vouchedList = {};
    keepsPlaylist = false;
    std::string text;
    if (runtime::readSmallFile(musicFolder, COPY_STATE, LARGEST_STATE, text) != 0 ||
        text.compare(0, sizeof HEADER - 1, HEADER) != 0)
        return records;
    for (size_t start = sizeof HEADER - 1, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        CopyRecord record;
        if (parseRecord(line, record))
            records.push_back(record);
        else if (!parseListMark(line, vouchedList))
            keepsPlaylist = keepsPlaylist || line == PLAYLIST_KEPT;
    }
    return records;
}

std::string copyStateText(const std::vector<CopyRecord>& records, const ListMark& vouchedList, bool keepsPlaylist) {
    std::vector<std::string> lines;
    for (const CopyRecord& record : records) lines.push_back(recordLine(record));
    std::sort(lines.begin(), lines.end());
    std::string text = HEADER;
    if (vouchedList.known) {
        char mark[64];
        std::snprintf(mark, sizeof mark, "l %llu %016llx\n", (unsigned long long)vouchedList.size,
                      (unsigned long long)vouchedList.digest);
        text += mark;
    }
    for (const std::string& line : lines) text += line;
    if (keepsPlaylist) text += std::string(PLAYLIST_KEPT) + "\n";
    return text;
}

int prepareCopyState(ReplacementFile& file, int musicFolder, const std::string& text) {
    if (file.create(musicFolder, COPY_STATE) != 0 || !runtime::writeAll(file.handle(), text.data(), text.size()))
        return -1;
    return 0;
}

int writeCopyState(int musicFolder, const std::string& text) {
    ReplacementFile file;
    return prepareCopyState(file, musicFolder, text) == 0 ? file.commit(true) : -1;
}

std::vector<CopyCheck> copyChecks(const std::vector<CopyRecord>& records, bool keepsInodeNumbers) {
    if (keepsInodeNumbers) return std::vector<CopyCheck>(records.size(), CopyCheck::Identity);
    std::map<std::tuple<uint64_t, int64_t, int64_t>, int> looks;  // copies by size and time
    auto look = [](const CopyRecord& record) {
        return std::make_tuple(record.copy.size, record.copy.modifiedSeconds, record.copy.modifiedNanoseconds);
    };
    for (const CopyRecord& record : records)
        if (record.vouched) ++looks[look(record)];
    std::vector<CopyCheck> checks;
    for (const CopyRecord& record : records)
        checks.push_back(record.vouched && looks[look(record)] > 1 ? CopyCheck::Bytes : CopyCheck::SizeAndTime);
    return checks;
}

bool copyStillHolds(int musicFolder, const CopyRecord& record, CopyCheck check) {
    runtime::FileStatus info;
    if (!record.vouched || runtime::linkStatusOf(musicFolder, record.name.c_str(), info) != 0) return false;
    const CopyIdentity now = copyIdentityOf(info), then = record.copy;
    if (!info.isPlain || info.links != 1 || now.size != then.size || now.modifiedSeconds != then.modifiedSeconds ||
        now.modifiedNanoseconds != then.modifiedNanoseconds)
        return false;
    switch (check) {
        case CopyCheck::Identity:
            return now.inode == then.inode && now.changedSeconds == then.changedSeconds &&
                   now.changedNanoseconds == then.changedNanoseconds;
        case CopyCheck::SizeAndTime: return true;
        case CopyCheck::Bytes: break;
    }
    SongDigest digest;
    return record.hasDigest && digestOfSong(musicFolder, record.name.c_str(), digest) && digest == record.digest;
}

namespace {

constexpr int64_t SECOND = 1000000000;
constexpr int64_t EXFAT_STEP = SECOND / 100;
// The coarsest step two stamps from two clocks are compared in.
constexpr int64_t TWO_CLOCKS = SECOND / 100;

int64_t stampResolution(const Stamp& stamp) {
    if (stamp.nanoseconds == 0) return std::max(stamp.fileSystemResolution, SECOND);
    int64_t step = 1;
    while (step < EXFAT_STEP && stamp.nanoseconds % (step * 10) == 0) step *= 10;
    return std::min(stamp.fileSystemResolution, step);
}

}  // namespace

bool stampedBefore(const Stamp& changed, const Stamp& reference) {
    const int64_t resolution = std::max({stampResolution(changed), stampResolution(reference),
                                         changed.device == reference.device ? int64_t(1) : TWO_CLOCKS});
    // In steps of whole seconds or of their fractions, so no product overflows.
    if (resolution >= SECOND) {
        const int64_t step = resolution / SECOND;
        auto floorDivide = [](int64_t a, int64_t b) { return a / b - (a % b < 0); };
        return floorDivide(changed.seconds, step) < floorDivide(reference.seconds, step);
    }
    return changed.seconds < reference.seconds ||
           (changed.seconds == reference.seconds &&
            changed.nanoseconds / resolution < reference.nanoseconds / resolution);
}

}  // namespace sorvil
