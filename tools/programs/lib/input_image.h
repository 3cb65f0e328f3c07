// A whole input file in memory, for the stream to work over: a regular file
// is mapped read-only (no copy, no zeroed pages of our own), anything else
// (a pipe, a device) is read into a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sorvil {

// The largest input taken, as for sorvil's songs: reading a device or a
// file that keeps growing stops here rather than when memory runs out. The
// stream's byte counts are ints, which it also keeps within.
constexpr size_t kLargestInputBytes = size_t(1) << 30;
static_assert(kLargestInputBytes <= size_t(INT32_MAX));

class InputImage {
public:
    InputImage() = default;
    InputImage(const InputImage&) = delete;
    InputImage& operator=(const InputImage&) = delete;
    ~InputImage();

    // False, with errno set, when the file cannot be opened or read; errno
    // EFBIG when it holds more than `largest` bytes.
    bool open(const std::string& path, size_t largest = kLargestInputBytes);
    const uint8_t* data() const { return mapped_ ? mapped_ : read_.data(); }
    size_t size() const { return mapped_ ? mappedSize_ : read_.size(); }

private:
    const uint8_t* mapped_ = nullptr;
    size_t mappedSize_ = 0;
    std::vector<uint8_t> read_;
};

// A mapped file that shrinks while it is read raises SIGBUS: from here on
// that ends the program with `message` on standard error and exit status 1
// instead of a crash.
void endQuietlyOnVanishedInput(const char* message);

}  // namespace sorvil
