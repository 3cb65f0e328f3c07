#include "app/copy_plan.h"

#include <cstdio>
#include <map>
#include <unordered_map>

#include "app/collection.h"
#include "app/song_list_run.h"
#include "app/song_measure.h"
#include "platform/file_status.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

std::string numberedName(size_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "song%04zu.mp3", number);
    return name;
}

// The proven records by their song's size, to find a song's copy in one look.
using RecordIndex = std::unordered_multimap<uint64_t, size_t>;

RecordIndex indexRecords(const std::vector<CopyRecord>& records) {
    RecordIndex index;
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].vouched && records[i].proven) index.emplace(records[i].source.size, i);
    return index;
}

// Where the file system vouches, the very file unchanged; elsewhere the same
// size, modification time and digest, wherever the file lies now.
bool recordsSong(const CopyRecord& record, const PlannedCopy& song) {
    if (record.byContent != song.byContent) return false;
    if (!song.byContent) return record.source == song.source;
    const SourceIdentity &then = record.source, &now = song.source;
    return then.size == now.size && then.modifiedSeconds == now.modifiedSeconds &&
           then.modifiedNanoseconds == now.modifiedNanoseconds && record.digest == song.digest;
}

// An unused record of this very song whose copy still holds it; -1 when none.
long findCopy(const CopyPlan& plan, const RecordIndex& index, std::vector<bool>& used, int musicFolder,
              const PlannedCopy& song) {
    auto [first, last] = index.equal_range(song.source.size);
    for (auto at = first; at != last; ++at) {
        const CopyRecord& record = plan.earlier[at->second];
        if (used[at->second] || !recordsSong(record, song) ||
            !copyStillHolds(musicFolder, record, plan.checks[at->second]))
            continue;
        used[at->second] = true;
        return long(at->second);
    }
    return -1;
}

// Where inode numbers are made up at each mount, only the bytes tell two
// songs of one size and time apart once they trade names. Asked once per
// device.
CopyPlan::SongFileSystem songFileSystem(CopyPlan& plan, int startFolder, const std::string& path, uint64_t device) {
    auto found = plan.songDevices.find(device);
    if (found != plan.songDevices.end()) return found->second;
    return plan.songDevices[device] = {runtime::keepsInodeNumbers(startFolder, path.c_str()),
                                       runtime::timeResolution(startFolder, path.c_str()),
                                       runtime::asksAheadInVain(startFolder, path.c_str())};
}

// The song's digest, and its measurement from the same reading: where each
// opening of a file costs (a FUSE driver's), the song is opened once. False
// when it could not be read whole; it fails when it is copied or measured.
bool digestAndMeasure(PlannedCopy& song, int startFolder, const std::string& path, GuardedMapping& image) {
    song.measurement = measureFile(image, startFolder, path.c_str(), true, &song.digest, &song.hasDigest);
    song.measured = true;
    return song.hasDigest;
}

void planSong(CopyPlan& plan, const RecordIndex& index, std::vector<bool>& used, const RunOptions& options,
              GuardedMapping& image, PlannedCopy& song) {
    runtime::FileStatus info;
    const std::string path = song.artist + "/" + song.name;
    if (runtime::statusOf(options.startFolder, path.c_str(), info) != 0 || !info.isPlain) return;
    if (info.size > kLargestSong) {
        song.step = CopyStep::TooLarge;
        return;
    }
    const CopyPlan::SongFileSystem fileSystem = songFileSystem(plan, options.startFolder, path, info.device);
    song.byContent = !fileSystem.keepsInodeNumbers;
    song.timeResolution = fileSystem.timeResolution;
    song.device = info.device;
    song.readAheadHelps = !fileSystem.asksAheadInVain;
    song.source = sourceIdentityOf(info);
    if (song.byContent) song.source.device = song.source.inode = 0;  // made up, and other on another system
    if ((song.byContent || !plan.compareInodes) && !digestAndMeasure(song, options.startFolder, path, image)) return;
    song.sourceKnown = true;
    const long found = findCopy(plan, index, used, options.musicFolder, song);
    if (found < 0) return;
    song.record = size_t(found);
    song.from = plan.earlier[song.record].name;
    song.step = song.from == song.target ? CopyStep::Keep : CopyStep::Move;
    // Untouched, the copy is as its record found it.
    song.copyKnown = song.step == CopyStep::Keep;
    if (song.copyKnown) song.copy = plan.earlier[song.record].copy;
}

// Names compared as a file system that ignores letter case compares them
// (the run's own names are lower case).
std::string folded(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return name;
}

// The names in the music folder now, links that lead nowhere included; none
// when it cannot be listed (errno set): the exclusive creates and renames
// still pass over what is there.
bool presentNames(int musicFolder, std::unordered_set<std::string>& present) {
    std::vector<std::string> names;
    const bool listed = runtime::listNames(musicFolder, names) == 0;
    for (const std::string& name : names) present.insert(folded(name));
    return listed;
}

// Moving and partial names that no file and no record has, so that neither
// a file of the user's nor a leftover still to remove is in the way.
void nameTemporaries(CopyPlan& plan, std::unordered_set<std::string> taken) {
    for (const CopyRecord& record : plan.earlier) taken.insert(folded(record.name));
    int next = 0;
    for (PlannedCopy& song : plan.songs) {
        if (song.step == CopyStep::Move) {
            while (taken.count(movingName(next))) ++next;
            song.staging = movingName(next++);
        }
        if (song.step != CopyStep::Move && song.step != CopyStep::Write) continue;
        for (int attempt = 0; song.partial.empty() || taken.count(song.partial); ++attempt)
            song.partial = partialName(song.target, attempt);
        taken.insert(song.partial);
    }
}

// The copies' names that hold a file no record names (a folder cannot be
// written over; a name listed but not examined is there): the run writes
// over them, and says how many.
int countUnrecorded(const CopyPlan& plan, int musicFolder, const std::unordered_set<std::string>& present) {
    std::unordered_set<std::string> recorded;
    for (const CopyRecord& record : plan.earlier) recorded.insert(folded(record.name));
    int count = 0;
    runtime::FileStatus info;
    for (const PlannedCopy& song : plan.songs)
        count += (song.step == CopyStep::Move || song.step == CopyStep::Write) && present.count(song.target) &&
                 !recorded.count(song.target) &&
                 !(runtime::linkStatusOf(musicFolder, song.target.c_str(), info) == 0 && info.isFolder);
    return count;
}

void findStale(CopyPlan& plan, const std::vector<std::string>& earlierNames) {
    std::unordered_set<std::string> needed, seen;
    for (const PlannedCopy& song : plan.songs) {
        if (song.step != CopyStep::TooLarge) needed.insert(song.target);
        if (song.step == CopyStep::Move) needed.insert(song.from);
    }
    auto consider = [&](const std::string& name) {
        if (isOwnCopyName(name) && !needed.count(name) && seen.insert(name).second) plan.stale.push_back(name);
    };
    for (const CopyRecord& record : plan.earlier) consider(record.name);
    for (const std::string& name : earlierNames) consider(name);
}

// The copies the record vouches for that no song keeps, as far as they are
// still there: counted as removed once they are gone.
void findDropped(CopyPlan& plan, const std::vector<bool>& used, int musicFolder) {
    for (size_t i = 0; i < plan.earlier.size(); ++i)
        if (!used[i] && copyStillHolds(musicFolder, plan.earlier[i], plan.checks[i]))
            plan.dropped.insert(plan.earlier[i].name);
}

}  // namespace

CopyPlan planCopies(const RunOptions& options, const std::vector<FoundArtist>& artists,
                    const std::vector<std::string>& earlierNames, int firstNumber, GuardedMapping& image) {
    CopyPlan plan;
    ListMark vouchedList;
    plan.earlier = readCopyState(options.musicFolder, vouchedList, plan.playlistRecorded);
    const bool listVouched = vouchedList.known && vouchedList == options.earlierListMark;
    if (listVouched) plan.listMark = vouchedList;
    plan.compareInodes = runtime::keepsInodeNumbers(options.musicFolder, "");
    plan.checks = copyChecks(plan.earlier, plan.compareInodes);
    plan.musicTimeResolution = runtime::timeResolution(options.musicFolder, "");
    const RecordIndex index = indexRecords(plan.earlier);
    std::vector<bool> used(plan.earlier.size());
    for (const FoundArtist& artist : artists)
        for (const FoundSong& found : artist.songs) {
            PlannedCopy song;
            song.artist = artist.name;
            song.name = found.path();
            song.target = numberedName(size_t(firstNumber) + plan.songs.size());
            planSong(plan, index, used, options, image, song);
            plan.songs.push_back(std::move(song));
        }
    std::unordered_set<std::string> present;
    if (!presentNames(options.musicFolder, present)) plan.listingError = errno;
    nameTemporaries(plan, present);
    plan.unrecorded = countUnrecorded(plan, options.musicFolder, present);
    findStale(plan, listVouched ? earlierNames : std::vector<std::string>{});
    findDropped(plan, used, options.musicFolder);
    return plan;
}

std::unordered_set<std::string> touchedNames(const CopyPlan& plan) {
    std::unordered_set<std::string> touched(plan.stale.begin(), plan.stale.end());
    for (const PlannedCopy& song : plan.songs) {
        if (song.step == CopyStep::Keep) continue;
        touched.insert(song.target);
        if (song.step == CopyStep::Move) touched.insert({song.from, song.staging});
    }
    return touched;
}

std::vector<CopyRecord> interimRecords(const CopyPlan& plan) {
    std::map<std::string, CopyRecord> byName;
    for (const std::string& name : touchedNames(plan)) byName[name] = pendingRecord(name);
    for (const PlannedCopy& song : plan.songs)
        if (!song.partial.empty()) byName[song.partial] = pendingRecord(song.partial);
    std::unordered_set<std::string> written;  // names that get another file before the run ends
    for (const PlannedCopy& song : plan.songs)
        if (song.step == CopyStep::Move || song.step == CopyStep::Write) written.insert({song.target, song.staging});
    for (const PlannedCopy& song : plan.songs) {
        const bool vouched = song.step == CopyStep::Keep || (song.step == CopyStep::Move && !written.count(song.from));
        if (vouched) byName[song.from] = plan.earlier[song.record];
    }
    std::vector<CopyRecord> records;
    for (auto& [name, record] : byName) records.push_back(record);
    return records;
}

PlannedCopy* nextPlannedCopy(CopyPlan& plan, const char* artist, const char* name) {
    for (size_t i = plan.cursor; i < plan.songs.size(); ++i)
        if (plan.songs[i].artist == artist && plan.songs[i].name == name) {
            plan.cursor = i + 1;
            return &plan.songs[i];
        }
    return nullptr;
}

}  // namespace sorvil
