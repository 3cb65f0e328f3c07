// Test helpers for the bit readers: hand-built bit strings (fields most
// significant bit first, as frame bodies hold them), and for layer III one
// reservoir area of its own, a heap block of exactly that size, so that a read
// outside it is caught by the address sanitizer.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"

namespace sorvil::test {

class BitString {
public:
    BitString& put(unsigned value, int bits) {
        for (int i = bits - 1; i >= 0; --i) putBit((value >> i) & 1);
        return *this;
    }
    // A code given as '0'/'1' characters.
    BitString& code(const std::string& text) {
        for (char c : text) putBit(c == '1');
        return *this;
    }
    BitString& putBit(unsigned bit) {
        if (length_ % 8 == 0) bytes_.push_back(0);
        if (bit) bytes_.back() |= uint8_t(0x80 >> (length_ % 8));
        ++length_;
        return *this;
    }
    int length() const { return length_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    // The bytes followed by at least `lookAhead` zero bytes (and at least
    // `size` bytes in all), for readers that load ahead of what they use.
    std::vector<uint8_t> padded(size_t lookAhead, size_t size = 0) const {
        std::vector<uint8_t> out = bytes_;
        out.resize(std::max(out.size() + lookAhead, size), 0);
        return out;
    }

private:
    std::vector<uint8_t> bytes_;
    int length_ = 0;
};

// One reservoir area of its own; the bits go at the frame body position.
class ReservoirArea {
public:
    ReservoirArea() : bytes_(new uint8_t[kReservoirAreaBytes]) { std::memset(bytes_.get(), 0, kReservoirAreaBytes); }

    uint8_t* body() { return bytes_.get() + kReservoirLeadIn; }
    uint8_t* end() { return bytes_.get() + kReservoirAreaBytes; }

    // Copies the bits to offset bytes into the body, fills the rest of the
    // area with filler, and points the cursor at them. The trusted bytes end
    // with the body of bodySize bytes.
    void load(const BitString& bits, int offset = 0, int bodySize = kLargestFrameBody, uint8_t filler = 0) {
        std::memset(body(), filler, size_t(end() - body()));
        if (!bits.bytes().empty()) std::memcpy(body() + offset, bits.bytes().data(), bits.bytes().size());
        readPointer = body() + offset;
        bitIndex = 0;
        readLimit = body() + bodySize;
        start_ = readPointer;
    }
    // Bits read since load().
    long bitsRead() const { return (readPointer - start_) * 8 + bitIndex; }

private:
    std::unique_ptr<uint8_t[]> bytes_;
    const uint8_t* start_ = nullptr;
};

}  // namespace sorvil::test
