// songlist.ini: the list the player reads, one "artist|title|file|seconds"
// record a line, CR LF ended. Forming records, reading the list an earlier
// run left, and replacing the file whole.
#pragma once

#include <string>
#include <vector>

#include "app/song_list_run.h"
#include "platform/replacement_file.h"

namespace sorvil {

extern const char SONG_LIST[];

// A record's fields are separated by '|' and records by line ends: a name
// holding one of them cannot be written as it is.
bool holdsRecordSeparator(const char* text);
// "artist|title|file|" of a copied song: artist and title as display text,
// '|' shown as '/', CR and LF as spaces (the file is the copy's own name).
std::string copyRecordStart(const char* artist, const char* title, const char* copyName);
// "artist|title|file|" of a song listed under its own file, whose names the
// caller has checked with holdsRecordSeparator: the record names the real
// folder and file.
std::string ownFileRecordStart(const char* artist, const char* title, const char* name);
// Appends the record to the run's master list; false (the run stopped) when
// memory runs out.
bool appendRecord(SongListRun& run, const std::string& recordStart, int seconds);

// The records of the list an earlier run left, into the run's options. A list
// that cannot be read, or is larger than any list (16 MiB), is not kept in
// memory: the run then empties it before it changes any copy.
void readEarlierList(RunOptions& options);
// The file a record names: its third field.
std::string recordFile(const std::string& record);

// Whether songlist.ini can be replaced at all, found out before anything
// else changes: its temporary file is created and removed. -1 with errno set.
int trySongListReplacement(int startFolder);
// The bytes of a list of these records, and of the run's records.
std::string songListText(const std::vector<std::string>& records);
std::string songListText(const SongListRun& run);
// songlist.ini's replacement holding the text, created and written, for the
// caller to commit. -1 with errno set.
int prepareSongList(ReplacementFile& list, int startFolder, const std::string& text);

// Replaces songlist.ini by the text, flushed to the disk before and after
// its rename. -1 with errno set when it could not be written; `inPlace` then
// says whether only the folder's flush failed.
int writeSongList(int startFolder, const std::string& text, bool& inPlace);

}  // namespace sorvil
