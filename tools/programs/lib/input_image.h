// A whole input file in memory, for the stream to work over: a regular file
// is mapped read-only through the guarded mapping (no copy, and a file cut
// short while it is read is told, not a crash), anything else (a pipe, a
// device) is read into a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/guarded_mapping.h"

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

    // False, with errno set, when the file cannot be opened or read; errno
    // EFBIG when it holds more than `largest` bytes.
    bool open(const std::string& path, size_t largest = kLargestInputBytes);
    const uint8_t* data() const { return mapped_.data() ? mapped_.data() : read_.data(); }
    size_t size() const { return mapped_.data() ? mapped_.size() : read_.size(); }
    // True when the file shrank while it was read: what came after its new
    // end was read as zeros, and nothing made of it is the file's.
    bool wasCut() const { return mapped_.wasCut(); }

private:
    GuardedMapping mapped_;
    std::vector<uint8_t> read_;
};

}  // namespace sorvil
