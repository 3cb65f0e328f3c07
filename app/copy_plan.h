// The plan of a copy run, made after the collection is gathered and before
// any copy is touched: each song's number, and whether its copy stays, moves
// to its new number, or is written anew; which of the run's own files no song
// needs any more.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/copy_state.h"
#include "app/song_measurement.h"

namespace sorvil {

struct RunOptions;
struct FoundArtist;
class GuardedMapping;

enum class CopyStep {
    Keep,      // the copy under the song's number holds it
    Move,      // a copy of it lies under another of the run's names
    Write,     // copied anew
    TooLarge,  // over the largest song: neither copied nor listed
};

struct PlannedCopy {
    std::string artist, name;  // where the song was found: its artist, and its path inside the artist's folder
    std::string target;        // the copy's name: its number's
    CopyStep step = CopyStep::Write;
    std::string from;          // Keep, Move: the name its copy has now
    size_t record = 0;         // Keep, Move: the earlier record that vouches for it
    std::string staging;       // Move: the name of its own it steps aside to when copies trade numbers
    std::string partial;       // Write, Move: the name a new copy is written under
    bool sourceKnown = false;  // a plain file whose identity tells it from any other
    SourceIdentity source;
    bool byContent = false;    // told by size, time and digest: its file system does not vouch for it
    bool hasDigest = false;    // by content, or its copy lies where only the digest tells it
    SongDigest digest;
    int64_t timeResolution = 1;  // of the song's file system, in nanoseconds
    uint64_t device = 0;         // the song's file system's, as this mount numbers it
    bool readAheadHelps = false; // asking the disk for it before it is copied is not in vain
    bool measured = false;       // measured while its digest was made: said when its turn comes
    SongMeasurement measurement;
    bool listed = false;       // set once its copy holds it
    // The copy under its number as its file system reported it after the
    // run's last change to it (none: looked up once the copies are flushed).
    bool copyKnown = false;
    CopyIdentity copy;
};

struct CopyPlan {
    std::vector<PlannedCopy> songs;
    std::vector<CopyRecord> earlier;         // the records found at the start
    std::vector<CopyCheck> checks;           // how each one's copy is told from other files
    ListMark listMark;                       // the list on the disk, when the records vouch for it
    int unrecorded = 0;                      // files no record names under names copies take
    int listingError = 0;                    // set: the music folder could not be listed
    std::vector<std::string> stale;          // the run's own names no song needs
    std::vector<std::string> leftovers;      // names that may still hold something of the run's
    std::unordered_set<std::string> dropped; // names of earlier copies still there that no song keeps
    bool compareInodes = false;              // the music folder keeps inode numbers and change times
    int64_t musicTimeResolution = 1;         // the music folder's file system's, in nanoseconds
    struct SongFileSystem {
        bool keepsInodeNumbers = false;
        int64_t timeResolution = 1;
        bool asksAheadInVain = false;
    };
    std::unordered_map<uint64_t, SongFileSystem> songDevices;  // each device songs lie on
    size_t cursor = 0;                       // the next song processSong takes
    int frozenError = 0;                     // set: music/ may not change, songs not kept fail so
    std::string writtenState;                // the record file as last written or read
    bool playlistRecorded = false;           // the record found says the run keeps songlist.m3u8
};

// `earlierNames`: the files the list found at the start names, taken for
// the run's only when the records vouch for that list; songs are numbered
// from `firstNumber`. The names of the run's own (moving, partial) are
// chosen among those no file and no record has. A song told by its digest
// is measured in `image` from the same reading.
CopyPlan planCopies(const RunOptions& options, const std::vector<FoundArtist>& artists,
                    const std::vector<std::string>& earlierNames, int firstNumber, GuardedMapping& image);

// Every name in the music folder that the plan changes, removes or writes.
std::unordered_set<std::string> touchedNames(const CopyPlan& plan);

// The records that hold while the plan is carried out: the copies that stay
// vouched for, every name the plan will write or remove (the partial names
// of new copies included) named without being vouched for, so that a run
// killed halfway leaves nothing the next run cannot find and remove.
std::vector<CopyRecord> interimRecords(const CopyPlan& plan);

// The song's entry, taken in the order of the plan.
PlannedCopy* nextPlannedCopy(CopyPlan& plan, const char* artist, const char* name);

}  // namespace sorvil
