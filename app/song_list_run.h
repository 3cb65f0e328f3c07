// One run of the song list builder as a value: what the command line and the
// start of the run decided, and everything the run gathers on its way. The
// scan, the copies and the list writer take it as a parameter, so what a
// function touches is in its signature and a test can build a run of its own.
#pragma once

#include <string>
#include <vector>

#include "app/copy_plan.h"
#include "app/run_tally.h"
#include "app/string_list.h"
#include "platform/guarded_mapping.h"

#include "platform/owns_resource.h"

namespace sorvil {

struct RunOptions {
    bool noCopy = false;
    // songlist.m3u8 is written with the list: asked for, or kept by an
    // earlier copy run (its record says so) and still there.
    bool playlist = false;
    // Every file the run writes is written through these descriptors, never
    // through a path relative to the process's current folder.
    int startFolder = -1;   // the folder the run started in
    int musicFolder = -1;   // the folder copies go to (copy mode)
    std::string musicName;  // its name in the starting folder: "music" in some letter case
    bool musicCreated = false;  // made by this run, so a refused run takes it away again
    // The records of the song list found at the start of the run, when it
    // could be read whole: before a copy it names changes, the list on the
    // disk is replaced by one without it.
    std::vector<std::string> earlierRecords;
    bool earlierListRead = false;
    ListMark earlierListMark;  // of the list found at the start, when it could be read
    int lockHandle = -1;  // holds the collection's lock until the run ends
};

struct SongListRun : OwnsResource {
    ~SongListRun();

    RunOptions options;
    StringList artistList = nullptr;
    StringList masterList = nullptr;  // the records, in the order songs were found
    CopyPlan copies;                  // copy mode: what happens to each song's copy
    int songNumber = 0;               // the next copy's number, shared by all artists
    int songSeconds = 0;              // the duration last measured
    GuardedMapping fileImage;         // the song being measured
    // What the run did. Its failures (a song that could not be copied, read
    // or listed, a folder or entry that could not be used) still let the list
    // be written, and make the exit status 1.
    RunTally tally;
    // Set when the run cannot go on (memory ran out for a list): nothing more
    // is done and the list is not written.
    bool stopped = false;
};

}  // namespace sorvil
