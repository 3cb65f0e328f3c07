#include "app/song_digest.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "mp3stream/stream_layout.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

// Two 64-bit lanes of multiply and rotate, each byte fed to both with other
// constants, finished by a full avalanche.
class Mixer {
public:
    void add(const char* bytes, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            const uint64_t byte = uint8_t(bytes[i]);
            a_ = rotate((a_ ^ byte) * 0x100000001B3ULL, 29);
            b_ = rotate((b_ + byte + 1) * 0x9E3779B97F4A7C15ULL, 31);
        }
    }
    void add(uint64_t number) {
        char bytes[8];
        for (int i = 0; i < 8; ++i) bytes[i] = char(number >> (8 * i));
        add(bytes, sizeof bytes);
    }
    SongDigest digest() const { return {finish(a_ ^ rotate(b_, 17)), finish(b_ + a_)}; }

private:
    static uint64_t rotate(uint64_t value, int bits) { return value << bits | value >> (64 - bits); }
    static uint64_t finish(uint64_t value) {
        value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
        value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
        return value ^ (value >> 31);
    }
    uint64_t a_ = 0xCBF29CE484222325ULL, b_ = 0x6A09E667F3BCC909ULL;
};

// Reads [at, at + count) whole into `into`; false (errno set) when it cannot.
using ReadRange = std::function<bool(uint64_t at, char* into, size_t count)>;

// The ID3v2 tags that open the file, one after the other: their whole size.
bool tagSize(const ReadRange& read, uint64_t fileSize, uint64_t& size) {
    size = 0;
    for (;;) {
        uint8_t header[kId3v2HeaderBytes];
        if (fileSize - size < sizeof header) return true;
        if (!read(size, reinterpret_cast<char*>(header), sizeof header)) return false;
        const int tag = id3v2Size(header);
        if (tag == 0 || size + uint64_t(tag) > fileSize) return true;
        size += uint64_t(tag);
    }
}

bool addRange(Mixer& mixer, const ReadRange& read, uint64_t start, uint64_t end, std::vector<char>& buffer) {
    mixer.add(start);
    mixer.add(end);
    for (uint64_t at = start; at < end;) {
        const size_t count = size_t(std::min<uint64_t>(end - at, buffer.size()));
        if (!read(at, buffer.data(), count)) return false;
        mixer.add(buffer.data(), count);
        at += count;
    }
    return true;
}

bool digestOf(const ReadRange& read, uint64_t size, SongDigest& digest) {
    uint64_t tag = 0;
    if (!tagSize(read, size, tag)) return false;
    std::vector<char> buffer(kDigestedAudioBytes);
    const uint64_t audioEnd = std::min(size, tag + kDigestedAudioBytes);
    const uint64_t tailStart = size > kDigestedAudioBytes ? size - kDigestedAudioBytes : 0;
    Mixer mixer;
    mixer.add(size);
    if (!addRange(mixer, read, 0, tag, buffer) || !addRange(mixer, read, tag, audioEnd, buffer) ||
        !addRange(mixer, read, std::max(tailStart, audioEnd), size, buffer))
        return false;
    digest = mixer.digest();
    return true;
}

bool digestOfOpenFile(int handle, uint64_t size, SongDigest& digest) {
    return digestOf(
        [handle](uint64_t at, char* into, size_t count) {
            const long long got = runtime::readAt(handle, at, into, count);
            if (got == (long long)count) return true;
            if (got >= 0) errno = EAGAIN;  // shrank while it was read
            return false;
        },
        size, digest);
}

}  // namespace

bool digestOfSong(int folder, const char* name, SongDigest& digest) {
    const runtime::OpenedFile file = runtime::openForReading(folder, name);
    if (file.handle < 0) return false;
    bool done = file.isPlain && digestOfOpenFile(file.handle, file.size, digest);
    if (!file.isPlain) errno = EINVAL;
    const int error = errno;
    runtime::closeFile(file.handle);  // read only: nothing to lose
    errno = error;
    return done;
}

SongDigest digestOfBytes(const uint8_t* bytes, uint64_t size) {
    SongDigest digest;
    digestOf(
        [bytes](uint64_t at, char* into, size_t count) {
            std::memcpy(into, bytes + at, count);
            return true;
        },
        size, digest);
    return digest;
}

std::string digestText(const SongDigest& digest) {
    char text[40];
    std::snprintf(text, sizeof text, "%016llx%016llx", (unsigned long long)digest.high, (unsigned long long)digest.low);
    return text;
}

bool parseDigest(const std::string& text, SongDigest& digest) {
    unsigned long long high = 0, low = 0;
    int used = 0;
    if (text.size() != 32 || std::sscanf(text.c_str(), "%16llx%16llx%n", &high, &low, &used) != 2 || used != 32)
        return false;
    digest = {high, low};
    return true;
}

}  // namespace sorvil
