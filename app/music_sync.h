// Carrying out a copy run's plan so that songlist.ini never lies: before a
// copy that the list on the disk names is moved, written over or removed, the
// list is replaced by one without it, and the record file by one that no
// longer vouches for it; copies are moved through names of the run's own, so
// chains and swaps of numbers lose nothing; at the end the copies are flushed
// to the disk before the new records and the new list name them.
#pragma once

#include <vector>

#include "app/collection.h"
#include "app/song_list_run.h"

namespace sorvil {

// Plans the copies, makes the lists on the disk safe for the changes, moves
// the copies that stay to their new numbers and removes the ones no song
// needs. What fails is said and marks the run incomplete; a list or record
// file that cannot be made safe freezes the music folder (every song not
// kept then fails to copy with that reason).
void prepareCopies(SongListRun& run, const std::vector<FoundArtist>& artists);

// After the songs: the run's leftovers removed, the copies flushed to the
// disk, the new records written, vouching for the list `newList` marks,
// which is written next. Said and marked incomplete when it fails.
void finishCopies(SongListRun& run, const ListMark& newList);

// After the songs of a run whose music folder froze, before its list is
// made: the earlier list's records, each replaced by this run's record of
// the same copy, then the songs whose copies it kept that the earlier list
// did not name, so a failed run drops no record that is still true.
void keepEarlierRecords(SongListRun& run);

}  // namespace sorvil
