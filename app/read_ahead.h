// What a measurement asks of the disk before it reads: only the pages it
// uses, in large requests, and the next songs' first pages while this one is
// measured. Advice only: a refusal changes no result and is not reported.
#pragma once

#include "mp3stream/mp3stream.h"
#include "platform/guarded_mapping.h"

namespace sorvil {

// Without this, every fault on a mapping reads ahead far past what is used.
// With `digested`, the ranges a digest of the song reads too: its tag, the
// audio after it and its end, each asked for in one piece (where each
// request for a file's end walks the file from its start, as a FAT driver's
// does, one walk, not several).
void adviseMeasuredRanges(const GuardedMapping& image, bool digested);
// Asks the disk, without waiting, for the parts of a song that its
// measurement reads first.
void prefetchSong(int folder, const char* name);
// During a frame walk of the mapped song: the pages behind the walk are let
// go (they are the file's, unchanged, and come back from it if read again),
// and the next stretch is asked for at once, so a long song is walked in
// little memory and large reads.
WalkProgress walkFollower(const GuardedMapping& image);

}  // namespace sorvil
