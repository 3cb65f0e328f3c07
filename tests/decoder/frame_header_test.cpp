// Frame header validity and decoding, frame sizes at every version, layer,
// rate and padding, and the three bit readers.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"
#include "decoder/frame_header.h"
#include "decoder/layer2/layer2.h"
#include "decoder/layer3/layer3.h"

namespace sorvil {
namespace {

// Builds a header word from its fields. versionBits: 3 = MPEG-1, 2 = MPEG-2,
// 0 = MPEG-2.5, 1 = reserved. layerBits: 3 = layer I, 2 = layer II, 1 = layer III.
uint32_t makeHeader(unsigned versionBits, unsigned layerBits, unsigned protection, unsigned bitrateIndex,
                    unsigned rateBits, unsigned padding, unsigned mode = 0, unsigned modeExtension = 0) {
    return 0xFFE00000u | (versionBits << 19) | (layerBits << 17) | (protection << 16) | (bitrateIndex << 12) |
           (rateBits << 10) | (padding << 9) | (mode << 6) | (modeExtension << 4);
}

TEST(FrameHeader, WorkedMpeg1Layer3Header) {
    const uint32_t word = 0xFFFB9064;
    EXPECT_EQ(headerIsValid(word), 1);
    FrameInfo frame{};
    ASSERT_EQ(decodeHeader(&frame, word), 1);
    EXPECT_EQ(frame.layer, 3);
    EXPECT_EQ(frame.lsf, 0);
    EXPECT_EQ(frame.mpeg25, 0);
    EXPECT_EQ(frame.samplingFrequency, 0);
    EXPECT_EQ(frame.bitrateIndex, 9);
    EXPECT_EQ(frame.mode, 1);
    EXPECT_EQ(frame.modeExtension, 2);
    EXPECT_EQ(frame.channels, 2);
    EXPECT_EQ(frame.errorProtection, 0);
    EXPECT_EQ(frame.padding, 0);
    EXPECT_EQ(frame.frameSize, 413);
    EXPECT_EQ(frame.decodeLayer, &decodeLayer3);
}

TEST(FrameHeader, WorkedFrameSizes) {
    FrameInfo frame{};
    // MPEG-1 layer III, 128 kbit/s, 44100 Hz: 417 bytes + padding, less the header.
    ASSERT_EQ(decodeHeader(&frame, makeHeader(3, 1, 1, 9, 0, 1)), 1);
    EXPECT_EQ(frame.frameSize, 414);
    // MPEG-2 layer III, 64 kbit/s, 22050 Hz: 208 + padding - 4.
    ASSERT_EQ(decodeHeader(&frame, makeHeader(2, 1, 1, 8, 0, 0)), 1);
    EXPECT_EQ(frame.samplingFrequency, 3);
    EXPECT_EQ(frame.frameSize, 204);
    ASSERT_EQ(decodeHeader(&frame, makeHeader(2, 1, 1, 8, 0, 1)), 1);
    EXPECT_EQ(frame.frameSize, 205);
    // MPEG-1 layer II, 384 kbit/s, 32000 Hz, no padding.
    ASSERT_EQ(decodeHeader(&frame, makeHeader(3, 2, 1, 14, 2, 0)), 1);
    EXPECT_EQ(frame.frameSize, 1724);
    EXPECT_EQ(frame.decodeLayer, &decodeLayer2);
    // The largest body of all: layer II at 8000 Hz, 160 kbit/s, padded.
    ASSERT_EQ(decodeHeader(&frame, makeHeader(0, 2, 1, 14, 2, 1)), 1);
    EXPECT_EQ(frame.frameSize, 2877);
}

TEST(FrameHeader, BitrateTableAnchors) {
    // A few values known from the standards' tables, one per row.
    EXPECT_EQ(bitrates[0][0][14], 448);
    EXPECT_EQ(bitrates[0][1][14], 384);
    EXPECT_EQ(bitrates[0][1][1], 32);
    EXPECT_EQ(bitrates[0][1][2], 48);
    EXPECT_EQ(bitrates[0][2][1], 32);
    EXPECT_EQ(bitrates[0][2][2], 40);
    EXPECT_EQ(bitrates[0][2][14], 320);
    EXPECT_EQ(bitrates[1][0][1], 32);
    EXPECT_EQ(bitrates[1][0][14], 256);
    EXPECT_EQ(bitrates[1][1][1], 8);
    EXPECT_EQ(bitrates[1][2][14], 160);
    for (int lsf = 0; lsf < 2; ++lsf)
        for (int layer = 0; layer < 3; ++layer) {
            EXPECT_EQ(bitrates[lsf][layer][0], 0);
            EXPECT_EQ(bitrates[lsf][layer][15], 0);
            for (int i = 2; i < 15; ++i) EXPECT_GT(bitrates[lsf][layer][i], bitrates[lsf][layer][i - 1]);
        }
}

TEST(FrameHeader, ValidityTest) {
    EXPECT_EQ(headerIsValid(0xFFFB9064 & ~0x00100000u & ~0x00080000u), 1);  // MPEG-2.5 passes
    EXPECT_EQ(headerIsValid(makeHeader(1, 1, 1, 9, 0, 0)), 1);               // reserved version passes
    EXPECT_EQ(headerIsValid(makeHeader(3, 1, 1, 0, 0, 0)), 1);               // free format passes
    EXPECT_EQ(headerIsValid(makeHeader(3, 1, 1, 9, 0, 0) | 3), 1);           // emphasis not tested
    EXPECT_EQ(headerIsValid(makeHeader(3, 1, 1, 15, 0, 0)), 0);
    EXPECT_EQ(headerIsValid(makeHeader(3, 1, 1, 9, 3, 0)), 0);
    EXPECT_EQ(headerIsValid(makeHeader(3, 0, 1, 9, 0, 0)), 0);
    EXPECT_EQ(headerIsValid(0xFFDB9064), 0);  // one sync bit clear
    EXPECT_EQ(headerIsValid(0x7FFB9064), 0);
}

TEST(FrameHeader, UndecodableHeadersKeepTheFieldsAlreadyWritten) {
    FrameInfo frame{};
    EXPECT_EQ(decodeHeader(&frame, makeHeader(3, 1, 1, 0, 1, 1, 3)), 0);  // free format
    EXPECT_EQ(frame.samplingFrequency, 1);
    EXPECT_EQ(frame.padding, 1);
    EXPECT_EQ(frame.channels, 1);
    EXPECT_EQ(frame.frameSize, 0);

    frame = FrameInfo{};
    EXPECT_EQ(decodeHeader(&frame, makeHeader(2, 1, 1, 9, 3, 0)), 0);  // sampling-rate bits 3
    EXPECT_EQ(frame.lsf, 1);
    EXPECT_EQ(frame.layer, 3);
    EXPECT_EQ(frame.bitrateIndex, 0);  // not reached

    frame = FrameInfo{};
    EXPECT_EQ(decodeHeader(&frame, makeHeader(3, 0, 1, 9, 0, 0)), 0);  // layer bits 0
    EXPECT_EQ(frame.layer, 4);
    EXPECT_EQ(frame.bitrateIndex, 9);
}

TEST(FrameHeader, LayerOneDecodesWithoutSizeOrRoutine) {
    FrameInfo frame{};
    frame.frameSize = 1234;
    ASSERT_EQ(decodeHeader(&frame, makeHeader(3, 3, 0, 5, 0, 0)), 1);
    EXPECT_EQ(frame.layer, 1);
    EXPECT_EQ(frame.errorProtection, 1);
    EXPECT_EQ(frame.frameSize, 1234);
    EXPECT_EQ(frame.decodeLayer, nullptr);
}

TEST(FrameHeader, MpegTwoPointFiveRates) {
    FrameInfo frame{};
    const int expected[3] = {11025, 12000, 8000};
    for (unsigned rateBits = 0; rateBits < 3; ++rateBits) {
        // Version bits 01 (reserved) decode like 00: both are MPEG-2.5.
        for (unsigned version : {0u, 1u}) {
            ASSERT_EQ(decodeHeader(&frame, makeHeader(version, 1, 1, 4, rateBits, 0)), 1);
            EXPECT_EQ(frame.mpeg25, 1);
            EXPECT_EQ(frame.lsf, 1);
            EXPECT_EQ(frame.samplingFrequency, int(6 + rateBits));
            EXPECT_EQ(samplingRates[frame.samplingFrequency], expected[rateBits]);
        }
    }
}

// Every version, layer, rate, bitrate index and padding against the frame
// length as the standards state it: 144 * bitrate / rate bytes for layer II
// and MPEG-1 layer III, 72 * bitrate / rate for layer III at the low rates.
TEST(FrameHeader, FrameSizeOfEveryHeader) {
    const int ratesByVersion[4][3] = {
        {11025, 12000, 8000}, {11025, 12000, 8000}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    int largest = 0;
    for (unsigned version = 0; version < 4; ++version)
        for (unsigned layerBits = 1; layerBits <= 2; ++layerBits)
            for (unsigned rateBits = 0; rateBits < 3; ++rateBits)
                for (unsigned index = 1; index < 15; ++index)
                    for (unsigned padding = 0; padding < 2; ++padding) {
                        const uint32_t word = makeHeader(version, layerBits, 1, index, rateBits, padding, 3);
                        ASSERT_EQ(headerIsValid(word), 1);
                        FrameInfo frame{};
                        ASSERT_EQ(decodeHeader(&frame, word), 1) << std::hex << word;
                        const bool lsf = version != 3;
                        const int layer = 4 - int(layerBits);
                        const int kbps = bitrates[lsf][layer - 1][index];
                        const int rate = ratesByVersion[version][rateBits];
                        const int slotBytes = (layer == 3 && lsf) ? 72 : 144;
                        const int length = slotBytes * kbps * 1000 / rate + int(padding);
                        EXPECT_EQ(frame.frameSize, length - 4) << std::hex << word;
                        EXPECT_EQ(samplingRates[frame.samplingFrequency], rate);
                        EXPECT_EQ(frame.layer, layer);
                        EXPECT_EQ(frame.channels, 1);
                        EXPECT_EQ(frame.padding, int(padding));
                        EXPECT_GT(frame.frameSize, 0);
                        if (frame.frameSize > largest) largest = frame.frameSize;
                    }
    EXPECT_EQ(largest, 2877);
    EXPECT_LE(largest, kLargestFrameBody);
}

TEST(FrameHeader, AllFieldsAreStored) {
    FrameInfo frame{};
    // MPEG-2 layer II, CRC, index 5, 24000 Hz, padded, private, dual channel,
    // mode extension 3, copyright, original, emphasis 2.
    const uint32_t word = 0xFFF4A000u | (1u << 9) | (1u << 8) | (2u << 6) | (3u << 4) | (1u << 3) | (1u << 2) | 2u;
    ASSERT_EQ(decodeHeader(&frame, word | (1u << 10)), 1);
    EXPECT_EQ(frame.lsf, 1);
    EXPECT_EQ(frame.mpeg25, 0);
    EXPECT_EQ(frame.layer, 2);
    EXPECT_EQ(frame.errorProtection, 1);
    EXPECT_EQ(frame.bitrateIndex, 10);
    EXPECT_EQ(frame.samplingFrequency, 4);
    EXPECT_EQ(frame.padding, 1);
    EXPECT_EQ(frame.extension, 1);
    EXPECT_EQ(frame.mode, 2);
    EXPECT_EQ(frame.modeExtension, 3);
    EXPECT_EQ(frame.copyright, 1);
    EXPECT_EQ(frame.original, 1);
    EXPECT_EQ(frame.emphasis, 2);
    EXPECT_EQ(frame.channels, 2);
    EXPECT_EQ(frame.frameSize, 96 * 144000 / 24000 + 1 - 4);  // index 10 is 96 kbit/s
}

// Reads bit number `position` (0 = most significant bit of byte 0).
unsigned referenceBits(const std::vector<uint8_t>& bytes, long position, int n) {
    unsigned value = 0;
    for (int i = 0; i < n; ++i, ++position) value = (value << 1) | ((bytes[position / 8] >> (7 - position % 8)) & 1);
    return value;
}

class BitReader : public ::testing::Test {
protected:
    void SetUp() override {
        std::mt19937 random(12345);
        bytes.resize(4096);
        for (auto& byte : bytes) byte = uint8_t(random());
        readPointer = bytes.data();
        bitIndex = 0;
    }
    long position() const { return (readPointer - bytes.data()) * 8 + bitIndex; }
    std::vector<uint8_t> bytes;
};

TEST_F(BitReader, GetBitsAtEveryOffsetAndWidth) {
    for (int start = 0; start < 8; ++start)
        for (int n = 1; n <= 16; ++n) {
            readPointer = bytes.data() + 10;
            bitIndex = start;
            const unsigned value = getBits(n);
            EXPECT_EQ(value, referenceBits(bytes, 80 + start, n)) << start << " " << n;
            EXPECT_EQ(position(), 80 + start + n);
            EXPECT_LT(bitIndex, 8);
        }
}

TEST_F(BitReader, SixteenBitsAtBitSevenSpanThreeBytes) {
    std::vector<uint8_t> data = {0x01, 0xFF, 0x00, 0x55};
    readPointer = data.data();
    bitIndex = 7;
    EXPECT_EQ(getBits(16), 0xFF80u);
    EXPECT_EQ(readPointer, data.data() + 2);
    EXPECT_EQ(bitIndex, 7);
}

TEST_F(BitReader, ZeroBitsAndWholeBytes) {
    readPointer = bytes.data() + 3;
    bitIndex = 5;
    EXPECT_EQ(getBits(0), 0u);
    EXPECT_EQ(readPointer, bytes.data() + 3);
    EXPECT_EQ(bitIndex, 5);

    bitIndex = 0;
    EXPECT_EQ(getBits(8), bytes[3]);
    EXPECT_EQ(readPointer, bytes.data() + 4);
    EXPECT_EQ(bitIndex, 0);
}

TEST_F(BitReader, FastReaderAtEveryOffsetAndWidth) {
    for (int start = 0; start < 8; ++start)
        for (int n = 1; n <= 9 && start + n <= 16; ++n) {
            readPointer = bytes.data() + 20;
            bitIndex = start;
            EXPECT_EQ(getBitsFast(n), referenceBits(bytes, 160 + start, n)) << start << " " << n;
            EXPECT_EQ(position(), 160 + start + n);
        }
}

TEST_F(BitReader, MixedReadsFollowTheBitstream) {
    std::mt19937 random(99);
    long expected = 0;
    while (expected < 3000 * 8) {
        const int kind = int(random() % 3);
        unsigned got, want;
        if (kind == 0) {
            const int n = int(random() % 17);
            want = referenceBits(bytes, expected, n);
            got = getBits(n);
            expected += n;
        } else if (kind == 1) {
            const int n = 1 + int(random() % 9);
            want = referenceBits(bytes, expected, n);
            got = getBitsFast(n);
            expected += n;
        } else {
            want = referenceBits(bytes, expected, 1);
            got = getOneBit();
            expected += 1;
        }
        ASSERT_EQ(got, want) << "at bit " << expected;
        ASSERT_EQ(position(), expected);
    }
}

}  // namespace
}  // namespace sorvil
