// What the run records about the copies it made, in a file of its own in the
// music folder: for each copy its name, the identity its song's file had when
// it was copied, and the identity the copy itself had once on the disk; the
// names the run may have left something under; and which songlist.ini the
// run wrote. A copy is reused for a song only while both identities still
// hold, so the record never has to be believed about the bytes: the file
// systems vouch for them, or, where one cannot (made-up inode numbers), the
// digest of the song's named byte ranges with its size and modification time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/song_digest.h"
#include "platform/file_status.h"
#include "platform/replacement_file.h"

namespace sorvil {

extern const char COPY_STATE[];

// A song's file as the run found it. Its change time moves with every
// change of content, name or times and cannot be set back, so an unchanged
// (device, inode, change time) is the same, unchanged file.
struct SourceIdentity {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modifiedSeconds = 0, modifiedNanoseconds = 0, changedSeconds = 0, changedNanoseconds = 0;
    bool operator==(const SourceIdentity&) const = default;
};

// A copy as its file system reports it: a copy replaced or written over gets
// another inode, change time or modification time.
struct CopyIdentity {
    uint64_t inode = 0, size = 0;
    int64_t modifiedSeconds = 0, modifiedNanoseconds = 0, changedSeconds = 0, changedNanoseconds = 0;
};

// One name in the music folder that the run owns. `vouched`: the name holds
// the copy of the song whose file had `source`; otherwise it only may hold
// something of the run's (a copy being made or moved), to be removed when no
// song needs it.
struct CopyRecord {
    std::string name;
    bool vouched = false;
    // The song is told by size, modification time and digest (device and
    // inode are 0), not by its file system's identity.
    bool byContent = false;
    // The song's last change is older than the record that names it, at the
    // file systems' resolution: no change after its copy can hide in the
    // same clock tick. A record not proven vouches for nothing.
    bool proven = false;
    bool hasDigest = false;
    SongDigest digest;  // the song's, and so its copy's
    SourceIdentity source;
    CopyIdentity copy;
};

// A songlist.ini by its size and a digest of its bytes: the record vouches
// that the run wrote the list that has them, so that list's file fields are
// names of the run's. No other list's are: a `nocopy` list or one edited by
// hand may name anything.
struct ListMark {
    bool known = false;
    uint64_t size = 0, digest = 0;
    bool operator==(const ListMark&) const = default;
};

ListMark listMarkOf(const std::string& listText);

inline CopyRecord pendingRecord(const std::string& name) {
    CopyRecord record;
    record.name = name;
    return record;
}

SourceIdentity sourceIdentityOf(const runtime::FileStatus& status);
CopyIdentity copyIdentityOf(const runtime::FileStatus& status);

// "song0000.mp3", the names copies are moved through (".song0000.mp3.move")
// and written under (".song0000.mp3.partial", or with a number after it):
// the only names a record may give, so no record can send a removal or a
// rename to a file the run did not name.
bool isOwnCopyName(const std::string& name);
std::string movingName(int number);
// The `attempt`th name a copy may be written under: ".song0000.mp3.partial",
// ".song0000.mp3.partial1", ..., so that a file of the user's under one of
// them is passed over.
std::string partialName(const std::string& copyName, int attempt);

// The records of the music folder and the list they vouch for, none when
// there are none, they cannot be read or are beyond sense (over a few
// megabytes): every song is then copied anew and nothing removed, which
// loses nothing. Lines of kinds it does not know are passed over.
// `keepsPlaylist`: the record says the run keeps songlist.m3u8 beside the list.
std::vector<CopyRecord> readCopyState(int musicFolder, ListMark& vouchedList, bool& keepsPlaylist);
// The record file's text: the list it vouches for, then the records in name
// order, so equal records give equal texts.
std::string copyStateText(const std::vector<CopyRecord>& records, const ListMark& vouchedList, bool keepsPlaylist);
// The record file's replacement holding the text, created and written, for
// the caller to commit (flushed to the disk before and after). -1 with errno
// set.
int prepareCopyState(ReplacementFile& file, int musicFolder, const std::string& text);
// Replaces the record file by the text that way. -1 with errno set.
int writeCopyState(int musicFolder, const std::string& text);

// How a record's copy is told from any other file under its name: where the
// file system keeps inode numbers and change times, by those; elsewhere by
// its size and modification time, and by the digest of its bytes too where
// another record's copy has the same size and time (two such copies could
// trade names unseen).
enum class CopyCheck { Identity, SizeAndTime, Bytes };

// How each record's copy is checked, for records read from a music folder
// that keeps inode numbers or not.
std::vector<CopyCheck> copyChecks(const std::vector<CopyRecord>& records, bool keepsInodeNumbers);

// True when the vouched record's name still holds the very copy it made: a
// plain file of one name (no link) of the size and modification time
// recorded, checked further as `check` says.
bool copyStillHolds(int musicFolder, const CopyRecord& record, CopyCheck check);

// A time as a file system stamped it, and what the run knows of that file
// system: its device as this mount numbers it, and the coarsest step in
// which it may keep times.
struct Stamp {
    int64_t seconds = 0, nanoseconds = 0;
    uint64_t device = 0;
    int64_t fileSystemResolution = 1;
};

// Whether `changed` is strictly older than `reference`, both cut to the
// coarsest step either may have been stamped in. A stamp without a fraction
// counts as one of whole seconds (or the file system's coarser step), one
// with a fraction as one of the largest step of a power of ten, up to 10 ms
// (exFAT's), that its digits allow: NTFS keeps 100 ns. Stamps of two file
// systems may come from two clocks (a kernel's coarse one lags a driver's by
// a tick), so they are cut to 10 ms at least.
bool stampedBefore(const Stamp& changed, const Stamp& reference);

}  // namespace sorvil
