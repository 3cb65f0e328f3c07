#include "app/song_list_run.h"

#include <unistd.h>

namespace sorvil {

// The descriptors were only read through or written through files that are
// flushed and closed on their own: nothing can be lost by their close.
SongListRun::~SongListRun() {
    stringListFree(artistList);
    stringListFree(masterList);
    if (options.musicFolder >= 0) close(options.musicFolder);
    if (options.startFolder >= 0) close(options.startFolder);
    if (options.lockHandle >= 0) close(options.lockHandle);
}

}  // namespace sorvil
