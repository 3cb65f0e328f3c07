#include "app/song_list_run.h"

#include "platform/runtime.h"

namespace sorvil {

SongListRun::~SongListRun() {
    stringListFree(artistList);
    stringListFree(masterList);
    if (options.musicFolder >= 0) runtime::closeFolder(options.musicFolder);
    if (options.startFolder >= 0) runtime::closeFolder(options.startFolder);
    if (options.lockHandle >= 0) runtime::closeFile(options.lockHandle);
}

}  // namespace sorvil
