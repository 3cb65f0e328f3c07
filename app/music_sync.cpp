#include "app/music_sync.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "app/console.h"
#include "app/playlist_file.h"
#include "app/song_list_file.h"
#include "platform/file_status.h"
#include "platform/replacement_file.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

std::string shownCopy(const RunOptions& options, const std::string& name) {
    return printable(("../" + options.musicName + "/" + name).c_str());
}

// The record file's text: the records, the list they vouch for, and whether
// the run keeps a playlist.
std::string stateText(const SongListRun& run, const std::vector<CopyRecord>& records) {
    return copyStateText(records, run.copies.listMark, run.options.playlist);
}

// The record file, unless it would say what it says already.
bool replaceState(SongListRun& run, const std::vector<CopyRecord>& records) {
    const std::string text = stateText(run, records);
    if (text == run.copies.writtenState) return true;
    if (writeCopyState(run.options.musicFolder, text) != 0) {
        consoleLine("ERROR: Cannot write %s: %s", shownCopy(run.options, COPY_STATE).c_str(), std::strerror(errno));
        ++run.tally.failures;
        return false;
    }
    run.copies.writtenState = text;
    return true;
}

bool cannotWrite(SongListRun& run, const std::string& shownName) {
    consoleLine("ERROR: Cannot write %s: %s", shownName.c_str(), std::strerror(errno));
    ++run.tally.failures;
    return false;
}

// The records of the list on the disk that name nothing that will change;
// false when the list needs no change. A list that could not be read is
// emptied: it may name anything.
bool recordsToKeep(const SongListRun& run, std::vector<std::string>& kept) {
    const std::unordered_set<std::string> touched = touchedNames(run.copies);
    if (touched.empty()) return false;
    for (const std::string& record : run.options.earlierRecords)
        if (!touched.count(recordFile(record))) kept.push_back(record);
    return !run.options.earlierListRead || kept.size() != run.options.earlierRecords.size();
}

// The list on the disk without the records naming what will change, the
// record file with the interim records (vouching for that list), and the
// playlist without the entries naming what will change. Both replacement
// files of the list and the records are made before either is committed,
// and the records first, so that a music folder or a starting folder that
// takes neither leaves the list as it was.
bool makeListsSafe(SongListRun& run, const std::vector<CopyRecord>& interim) {
    std::vector<std::string> kept;
    const bool listChanges = recordsToKeep(run, kept);
    const std::string listText = songListText(kept);
    // Only a list the records vouched for passes that on to what is left of it.
    if (listChanges && run.copies.listMark.known) run.copies.listMark = listMarkOf(listText);
    const std::string text = stateText(run, interim);
    const bool stateChanges = text != run.copies.writtenState;
    ReplacementFile state, list;
    const std::string shownState = shownCopy(run.options, COPY_STATE);
    if (stateChanges && prepareCopyState(state, run.options.musicFolder, text) != 0)
        return cannotWrite(run, shownState);
    if (listChanges && prepareSongList(list, run.options.startFolder, listText) != 0)
        return cannotWrite(run, SONG_LIST);
    if (stateChanges && state.commit(true) != 0) return cannotWrite(run, shownState);
    run.copies.writtenState = text;
    if (listChanges && list.commit(true) != 0) return cannotWrite(run, SONG_LIST);
    if (listChanges) {
        run.options.earlierRecords = kept;
        run.options.earlierListRead = true;
    }
    return dropChangingEntries(run, touchedNames(run.copies));
}

// A move that fails leaves the song to be copied anew; the name it could
// not leave is removed at the end. A copy steps aside only onto a name where
// nothing is; it moves onto its number whatever is there.
bool moveCopy(SongListRun& run, PlannedCopy& song, const std::string& from, const std::string& to) {
    const int folder = run.options.musicFolder;
    const bool aside = to == song.staging;
    if ((aside ? runtime::renameWithoutReplacing(folder, from.c_str(), to.c_str())
               : runtime::renameFile(folder, from.c_str(), to.c_str())) == 0)
        return true;
    consoleLine("ERROR: Cannot move %s to %s: %s", shownCopy(run.options, from).c_str(),
                shownCopy(run.options, to).c_str(), std::strerror(errno));
    ++run.tally.failures;
    run.copies.leftovers.push_back(from);
    song.step = CopyStep::Write;
    return false;
}

// Only a missing file is as good as removed.
bool removeOwnFile(SongListRun& run, const std::string& name) {
    if (runtime::removeFile(run.options.musicFolder, name.c_str()) == 0 || errno == ENOENT) return true;
    consoleLine("ERROR: Cannot remove %s: %s", shownCopy(run.options, name).c_str(), std::strerror(errno));
    ++run.tally.failures;
    return false;
}

// Moves one copy, after the copy whose name it takes has moved on: along a
// chain the last name is taken first, and a cycle (copies trading numbers)
// is broken by one copy stepping aside under a name of the run's own.
void moveAlongChain(SongListRun& run, PlannedCopy* first, std::unordered_map<std::string, PlannedCopy*>& leaving) {
    std::vector<PlannedCopy*> chain;
    std::unordered_set<PlannedCopy*> inChain;
    for (PlannedCopy* song = first; song && inChain.insert(song).second;) {
        chain.push_back(song);
        auto next = leaving.find(song->target);
        song = next == leaving.end() ? nullptr : next->second;
        if (song && inChain.count(song)) {
            leaving.erase(song->from);
            if (moveCopy(run, *song, song->from, song->staging)) song->from = song->staging;
        }
    }
    for (auto song = chain.rbegin(); song != chain.rend(); ++song) {
        leaving.erase((*song)->from);
        if ((*song)->step == CopyStep::Move && moveCopy(run, **song, (*song)->from, (*song)->target))
            (*song)->step = CopyStep::Keep;
    }
}

// True when some copy moved.
bool carryOut(SongListRun& run) {
    CopyPlan& plan = run.copies;
    std::vector<std::string> kept;
    for (const std::string& name : plan.stale) {
        if (!removeOwnFile(run, name)) kept.push_back(name);
        else if (plan.dropped.count(name)) ++run.tally.removed;
    }
    plan.stale = kept;
    std::unordered_map<std::string, PlannedCopy*> leaving;  // the copies still to move, by the name they leave
    for (PlannedCopy& song : plan.songs)
        if (song.step == CopyStep::Move) leaving[song.from] = &song;
    for (PlannedCopy& song : plan.songs)
        if (song.step == CopyStep::Move && leaving.count(song.from)) moveAlongChain(run, &song, leaving);
    return std::any_of(plan.songs.begin(), plan.songs.end(), [](const PlannedCopy& song) {
               return song.step == CopyStep::Keep && song.from != song.target;
           });
}

void freeze(CopyPlan& plan, int error) {
    plan.frozenError = error;
    for (PlannedCopy& song : plan.songs)
        if (song.step == CopyStep::Move) song.step = CopyStep::Write;
}

// Whether the song's last change is strictly older than the reference the
// music folder's file system stamped.
bool changedBefore(const CopyPlan& plan, const PlannedCopy& song, const runtime::FileStatus& reference) {
    return stampedBefore({song.source.changedSeconds, song.source.changedNanoseconds, song.device, song.timeResolution},
                         {reference.modifiedSeconds, reference.modifiedNanoseconds, reference.device,
                          plan.musicTimeResolution});
}

// Whether the song's copy holds it: once the songs are done, the listed
// ones; before, the kept and moved ones.
bool copyHolds(const PlannedCopy& song, bool songsDone) {
    return songsDone ? song.listed : song.step == CopyStep::Keep;
}

// The copies that hold their songs, as their file system reports them now,
// past a FUSE driver's cache (it may report the song's time before a flush
// and its own after): each looked up once after the run's last change to it.
void lookUpCopies(SongListRun& run, bool songsDone) {
    for (PlannedCopy& song : run.copies.songs) {
        runtime::FileStatus info;
        if (song.copyKnown || song.step == CopyStep::TooLarge || !copyHolds(song, songsDone) || !song.sourceKnown ||
            runtime::freshLinkStatusOf(run.options.musicFolder, song.target.c_str(), info) != 0)
            continue;
        song.copyKnown = true;
        song.copy = copyIdentityOf(info);
        if (!run.copies.compareInodes) song.copy.inode = 0;  // made up anew at each mount
    }
}

// The records of every copy that holds its song as looked up. A kept copy's
// record was proven; a new one is when its song changed before `reference`
// (none: not yet).
std::vector<CopyRecord> currentRecords(const SongListRun& run, bool songsDone,
                                       const runtime::FileStatus* reference = nullptr) {
    const CopyPlan& plan = run.copies;
    std::vector<CopyRecord> records;
    for (const PlannedCopy& song : plan.songs) {
        if (song.step == CopyStep::TooLarge) continue;
        CopyRecord record = pendingRecord(song.target);
        const bool holds = copyHolds(song, songsDone);
        if (holds && song.sourceKnown && song.copyKnown) {
            record.vouched = true;
            record.byContent = song.byContent;
            record.hasDigest = song.hasDigest;
            record.digest = song.digest;
            record.source = song.source;
            record.copy = song.copy;
            record.proven = song.step == CopyStep::Keep || (reference && changedBefore(plan, song, *reference));
        }
        if (holds || song.step == CopyStep::Write) records.push_back(record);
        if (!songsDone && song.step == CopyStep::Write) records.push_back(pendingRecord(song.partial));
    }
    for (const std::string& name : plan.stale) records.push_back(pendingRecord(name));
    for (const std::string& name : plan.leftovers) records.push_back(pendingRecord(name));
    return records;
}

// One flush of the whole file system costs less than one per copy, and the
// copies are written before it, in the order the disk likes.
bool flushCopies(SongListRun& run) {
    if (runtime::flushFileSystem(run.options.musicFolder) == 0) return true;
    consoleLine("ERROR: Cannot flush the copies in %s to the disk: %s", printable(run.options.musicName.c_str()).c_str(),
                std::strerror(errno));
    ++run.tally.failures;
    return false;
}

// Names the rule gives the run, holding files no record of it names: once,
// not once per copy. Without the folder's names, they are not known.
void sayUnrecorded(SongListRun& run) {
    const int count = run.copies.unrecorded;
    const std::string folder = printable(run.options.musicName);
    if (run.copies.listingError != 0) {
        consoleLine("ERROR: Cannot read %s: %s", folder.c_str(), std::strerror(run.copies.listingError));
        ++run.tally.failures;
    }
    if (count == 1)
        consoleLine("NOTE: 1 file in %s that sorvil has no record of is replaced by the copy of that name",
                    folder.c_str());
    if (count > 1)
        consoleLine("NOTE: %d files in %s that sorvil has no record of are replaced by the copies of those names",
                    count, folder.c_str());
}

// The records of the copies the run made, proven by git's rule for a racy
// index: the record file's own modification time, as its file system
// stamped it, is the reference a song's last change must be strictly older
// than, or a second change in the same clock tick could hide. Written a
// second time once the reference is known; a record left unproven costs its
// song one more copy.
void recordCopies(SongListRun& run) {
    lookUpCopies(run, true);
    std::vector<CopyRecord> records = currentRecords(run, true);
    if (!replaceState(run, records)) return;
    const bool allProven = std::all_of(records.begin(), records.end(),
                                       [](const CopyRecord& record) { return !record.vouched || record.proven; });
    runtime::FileStatus reference;
    if (allProven || runtime::freshLinkStatusOf(run.options.musicFolder, COPY_STATE, reference) != 0) return;
    replaceState(run, currentRecords(run, true, &reference));
}

}  // namespace

void prepareCopies(SongListRun& run, const std::vector<FoundArtist>& artists) {
    std::vector<std::string> earlierNames;
    for (const std::string& record : run.options.earlierRecords) earlierNames.push_back(recordFile(record));
    run.copies = planCopies(run.options, artists, earlierNames, run.songNumber, run.fileImage);
    sayUnrecorded(run);
    removeOwnFile(run, replacementName(COPY_STATE));  // left by a run killed while it wrote the records
    run.copies.writtenState = copyStateText(run.copies.earlier, run.copies.listMark, run.copies.playlistRecorded);
    run.options.playlist =
        run.options.playlist || (run.copies.playlistRecorded && playlistThere(run.options.startFolder));
    const std::vector<CopyRecord> interim = interimRecords(run.copies);
    if (!makeListsSafe(run, interim)) {
        freeze(run.copies, errno);
        return;
    }
    // Recorded at once, so that a run stopped while it copies costs the next
    // one no move. A record that runs ahead of a rename lost in a power cut
    // vouches for nothing where inode and change time tell files apart;
    // elsewhere (FAT) the renames are flushed first.
    if (carryOut(run) && (run.copies.compareInodes || flushCopies(run))) {
        lookUpCopies(run, false);
        replaceState(run, currentRecords(run, false));
    }
}

void finishCopies(SongListRun& run, const ListMark& newList) {
    CopyPlan& plan = run.copies;
    std::unordered_set<std::string> targets;  // a name a move could not leave may since hold another copy
    for (const PlannedCopy& song : plan.songs) targets.insert(song.target);
    std::vector<std::string> left;
    for (const std::string& name : plan.leftovers)
        if (!targets.count(name) && !removeOwnFile(run, name)) left.push_back(name);
    plan.leftovers = left;
    // The records must not vouch for copies that may not be on the disk; the
    // copies' sizes and times are looked up afresh once flushed (a FUSE
    // driver may report the song's time before, and its own after).
    plan.listMark = newList;
    if (flushCopies(run) && plan.frozenError == 0) recordCopies(run);
}

// A run that could not make the lists safe changed no copy: the list it
// leaves keeps the earlier records in their order, each replaced by this
// run's record of the same copy, and adds the songs whose copies it kept
// that the earlier list did not name.
void keepEarlierRecords(SongListRun& run) {
    // Another list's records (a nocopy run's, one edited by hand) may name
    // anything: only those of a list the records vouch for are known true.
    if (run.copies.frozenError == 0 || !run.copies.listMark.known) return;
    std::unordered_map<std::string, const char*> current;  // this run's records, by copy
    for (intptr_t i = 0; i < stringListCount(run.masterList); ++i)
        current.emplace(recordFile(run.masterList[i]), run.masterList[i]);
    StringList merged = stringListNew();
    std::unordered_set<std::string> named;
    auto add = [&](const std::string& copy, const char* record) {
        StringList grown = merged && named.insert(copy).second ? stringListAppend(merged, record) : merged;
        if (!grown) stringListFree(merged);
        merged = grown;
    };
    for (const std::string& record : run.options.earlierRecords) {
        auto mine = current.find(recordFile(record));
        add(recordFile(record), mine == current.end() ? record.c_str() : mine->second);
    }
    for (intptr_t i = 0; i < stringListCount(run.masterList); ++i)
        add(recordFile(run.masterList[i]), run.masterList[i]);
    if (!merged) return;  // out of memory: the run's own records are still true
    stringListFree(run.masterList);
    run.masterList = merged;
}

}  // namespace sorvil
