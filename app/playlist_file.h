// songlist.m3u8: the songs of songlist.ini for every other player, as an
// extended M3U playlist in the list's order: "#EXTM3U", then per song
// "#EXTINF:SECONDS,ARTIST - TITLE" and its file relative to the playlist,
// CR LF ended as the list is. Made from the list's records, so it names what
// the list names, byte for byte, and kept true by the list's protocol.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "app/song_list_run.h"

namespace sorvil {

extern const char PLAYLIST[];

// The playlist of these records: a copy's file lies in the music folder
// `musicName`, a song's own file (nocopy) in its artist's folder.
std::string playlistText(const std::vector<std::string>& records, bool noCopy, const std::string& musicName);

// Whether there is a playlist beside the list.
bool playlistThere(int startFolder);

// Replaces songlist.m3u8 by the playlist of the run's records, flushed to
// the disk before and after. -1 with errno set.
int writePlaylist(const SongListRun& run);

// Before the `touched` copies change: the playlist on the disk without the
// entries naming one (one that cannot be read may name anything: it is
// emptied), or, when it cannot be replaced, removed. False (said) when it
// can be neither: the music folder may then not change.
bool dropChangingEntries(SongListRun& run, const std::unordered_set<std::string>& touched);

}  // namespace sorvil
