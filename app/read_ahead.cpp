#include "app/read_ahead.h"

#include <algorithm>

#include "app/song_digest.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

// What a measurement reads: the search window, and the frame it probes and
// the one after it, which may reach past it.
constexpr size_t kMeasuredWindow = kSearchWindowBytes + 2 * 4096;
// What prefetchSong asks for at a song's start: the window after a tag of up
// to about 28 KB. A larger tag (cover art) is read when the song's turn
// comes, as any song's would be.
constexpr uint64_t kPrefetchedHead = 65536;

void followWalk(const uint8_t* passed, const uint8_t* at, void* context) {
    const auto& image = *static_cast<const GuardedMapping*>(context);
    if (!image.data() || passed < image.data() || at > image.data() + image.size()) return;
    const size_t from = size_t(passed - image.data());
    const size_t to = size_t(at - image.data());
    const size_t page = GuardedMapping::pageBytes();
    const size_t dropFrom = (from + page - 1) / page * page;
    const size_t dropTo = to / page * page;
    if (dropTo > dropFrom) image.advise(dropFrom, dropTo - dropFrom, GuardedMapping::Advice::DontNeed);
    image.advise(to, size_t(2 * kWalkStride), GuardedMapping::Advice::WillNeed);
}

}  // namespace

void adviseMeasuredRanges(const GuardedMapping& image, bool digested) {
    const size_t length = image.size();
    using Advice = GuardedMapping::Advice;
    image.advise(0, length, Advice::Random);
    const size_t tail = digested ? size_t(kDigestedAudioBytes) : size_t(kId3v1Bytes);
    image.advise(length - std::min(length, tail), tail, Advice::WillNeed);
    image.advise(0, kId3v2HeaderBytes, Advice::WillNeed);
    const size_t tag = length >= size_t(kId3v2HeaderBytes) ? size_t(id3v2Size(image.data())) : 0;
    if (digested) image.advise(0, tag, Advice::WillNeed);
    image.advise(tag, std::max(kMeasuredWindow, size_t(digested ? kDigestedAudioBytes : 0)), Advice::WillNeed);
}

void prefetchSong(int folder, const char* name) { runtime::askAhead(folder, name, kPrefetchedHead, kId3v1Bytes); }

WalkProgress walkFollower(const GuardedMapping& image) {
    return WalkProgress{followWalk, const_cast<GuardedMapping*>(&image)};
}

}  // namespace sorvil
