// What a song's bytes can be recognised by where its file system does not
// vouch for its identity: a digest of the parts a tagger or a re-encode
// changes first, read in a few small ranges rather than whole.
#pragma once

#include <cstdint>
#include <string>

namespace sorvil {

// The audio read after the tag, and the end of the file read.
constexpr uint64_t kDigestedAudioBytes = 64 << 10;

// Not a cryptographic digest: it tells a user's own songs apart, and a
// collision only costs that one song a copy that is not made anew.
struct SongDigest {
    uint64_t high = 0, low = 0;
    bool operator==(const SongDigest&) const = default;
};

// The digest of the plain file `name` in the open folder: the whole ID3v2
// tag (its size is in its header; cover art included), the first 64 KiB
// of audio after it and the last 64 KiB of the file (ID3v1 and APE tags),
// each with its place. False (errno set) when it cannot be read.
bool digestOfSong(int folder, const char* name, SongDigest& digest);
// The same digest of a file's bytes in memory (a song being measured).
SongDigest digestOfBytes(const uint8_t* bytes, uint64_t size);

std::string digestText(const SongDigest& digest);
// False when `text` is not one.
bool parseDigest(const std::string& text, SongDigest& digest);

}  // namespace sorvil
