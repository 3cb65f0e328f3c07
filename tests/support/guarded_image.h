// A file image whose last byte sits just before an unreadable page, so that
// any read past the image faults at once, also in builds without sanitizers;
// and a stream created over one.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "mp3stream/mp3stream.h"
#include "support/system.h"

namespace sorvil::test {

class GuardedImage {
public:
    explicit GuardedImage(const std::string& bytes) : size_(bytes.size()) {
        const size_t page = pageSize();
        dataPages_ = (size_ + page - 1) / page * page;
        if (dataPages_ == 0) dataPages_ = page;
        mappingSize_ = dataPages_ + page;
        mapping_ = mapPages(mappingSize_);
        if (!mapping_) throw std::runtime_error("cannot map pages");
        if (!forbidPages(mapping_ + dataPages_, page)) throw std::runtime_error("cannot make a page unreadable");
        data_ = mapping_ + dataPages_ - size_;
        std::memcpy(data_, bytes.data(), size_);
        // Bytes before the image are readable but should not be read either:
        // fill them with sync-like bytes so a stray read shows in the results.
        std::memset(mapping_, 0xFF, dataPages_ - size_);
    }
    ~GuardedImage() { unmapPages(mapping_, mappingSize_); }
    GuardedImage(const GuardedImage&) = delete;
    GuardedImage& operator=(const GuardedImage&) = delete;

    const uint8_t* data() const { return data_; }
    int size() const { return int(size_); }

private:
    size_t size_;
    size_t dataPages_ = 0;
    size_t mappingSize_ = 0;
    uint8_t* mapping_ = nullptr;
    uint8_t* data_ = nullptr;
};

// Creates a stream over a guarded copy of the bytes; the image outlives it.
struct Created {
    explicit Created(const std::string& bytes) : image(bytes), stream(mp3StreamCreate(image.data(), image.size())) {}
    ~Created() { mp3StreamDestroy(stream); }
    GuardedImage image;
    Mp3Stream* stream;
};

}  // namespace sorvil::test
