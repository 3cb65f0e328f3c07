// Frame assembly: the input chain, the decodeFrame results and the state after
// each of them, feeding in pieces, the reservoir areas and stepBack.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"
#include "frame_feed.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t wordAt(const Bytes& bytes, size_t at) {
    return (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16) | (uint32_t(bytes[at + 2]) << 8) |
           bytes[at + 3];
}

// The first `count` whole frames of a file that starts with a frame.
Bytes leadingFrames(const Bytes& file, int count) {
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        FrameInfo frame{};
        EXPECT_EQ(decodeHeader(&frame, wordAt(file, at)), 1);
        at += size_t(frame.frameSize) + 4;
    }
    return Bytes(file.begin(), file.begin() + long(at));
}

struct Decoder {
    Decoder() : state(std::make_unique<DecoderState>()) { decoderInit(state.get()); }
    ~Decoder() { decoderExit(state.get()); }
    int feed(const uint8_t* bytes, int size) {
        outBytes = -7;
        return decodeFrame(state.get(), bytes, size, pcm, sizeof pcm, &outBytes);
    }
    int feed(const Bytes& bytes) { return feed(bytes.data(), int(bytes.size())); }
    int chainLength() const {
        int n = 0;
        for (InputBuffer* b = state->oldestBuffer; b; b = b->next) ++n;
        return n;
    }
    std::unique_ptr<DecoderState> state;
    uint8_t pcm[kFrameOutputBytes];
    int outBytes = -7;
};

// What a decoder reports per call while a byte sequence is fed in pieces.
struct Outcome {
    std::vector<int> results;
    std::vector<int> outBytes;
    Bytes pcm;
};

Outcome decodeInPieces(const Bytes& stream, const std::vector<int>& pieceSizes) {
    Decoder decoder;
    Outcome outcome;
    size_t piece = 0;
    FeedPlan plan;
    plan.pieceBytes = [&](size_t) { return pieceSizes[piece++ % pieceSizes.size()]; };
    plan.afterError = AfterError::GoOn;
    feedDecoder(decoder.state.get(), stream.data(), stream.size(), plan,
                [&](int result, const uint8_t* pcm, int pcmBytes, const DecoderState&) {
                    if (result == DEC_NEED_MORE) return true;
                    outcome.results.push_back(result);
                    outcome.outBytes.push_back(pcmBytes);
                    if (result == DEC_OK && pcmBytes > 0) outcome.pcm.insert(outcome.pcm.end(), pcm, pcm + pcmBytes);
                    return true;
                });
    EXPECT_EQ(decoder.state->bufferedBytes, 0);
    EXPECT_EQ(decoder.chainLength(), 0);
    return outcome;
}

TEST(DecoderInit, InitialState) {
    Decoder decoder;
    const DecoderState& s = *decoder.state;
    EXPECT_EQ(s.newestBuffer, nullptr);
    EXPECT_EQ(s.oldestBuffer, nullptr);
    EXPECT_EQ(s.bufferedBytes, 0);
    EXPECT_EQ(s.frameSize, 0);
    EXPECT_EQ(s.previousFrameSize, -1);
    EXPECT_EQ(s.synthOffset, 1);
    EXPECT_EQ(s.frame.singleChannel, -1);
    EXPECT_EQ(s.frame.decodeLayer, nullptr);
    EXPECT_EQ(s.reservoirIndex, 0);
    decoderExit(decoder.state.get());  // empty chain: nothing to free
    EXPECT_EQ(s.oldestBuffer, nullptr);
}

TEST(InputChain, BuffersAreCopiedLinkedAndCounted) {
    Decoder decoder;
    DecoderState* s = decoder.state.get();
    uint8_t first[3] = {1, 2, 3};
    uint8_t second[2] = {4, 5};
    InputBuffer* a = addInputBuffer(s, first, 3);
    InputBuffer* b = addInputBuffer(s, second, 2);
    ASSERT_TRUE(a && b);
    first[0] = 99;  // the chain holds its own copy
    EXPECT_EQ(s->oldestBuffer, a);
    EXPECT_EQ(s->newestBuffer, b);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(b->previous, a);
    EXPECT_EQ(s->bufferedBytes, 5);
    for (int expected = 1; expected <= 5; ++expected) EXPECT_EQ(readInputByte(s), expected);
    EXPECT_EQ(s->bufferedBytes, 0);
    // The first buffer went as soon as a byte was wanted beyond it.
    EXPECT_EQ(s->oldestBuffer, b);
    removeOldestBuffer(s);
    EXPECT_EQ(s->oldestBuffer, nullptr);
    EXPECT_EQ(s->newestBuffer, nullptr);
}

TEST(InputChain, HeaderWordIsBigEndianAcrossBuffers) {
    Decoder decoder;
    DecoderState* s = decoder.state.get();
    const uint8_t a[1] = {0xFF};
    const uint8_t c[3] = {0xFB, 0x90, 0x64};
    addInputBuffer(s, a, 1);
    addInputBuffer(s, c, 0);  // an empty piece
    addInputBuffer(s, c, 3);
    readHeaderWord(s);
    EXPECT_EQ(s->header, 0xFFFB9064u);
    EXPECT_EQ(s->bufferedBytes, 0);
}

TEST(DecodeFrame, OutputCapacityBelowOneFrameIsRefused) {
    const Bytes frame = leadingFrames(test::testDataBytes("encoded/l3_mpeg1_44100_joint_128k.mp3"), 1);
    Decoder decoder;
    int outBytes = 55;
    EXPECT_EQ(decodeFrame(decoder.state.get(), frame.data(), int(frame.size()), decoder.pcm, 4607, &outBytes),
              DEC_ERR);
    EXPECT_EQ(outBytes, 55);
    EXPECT_EQ(decoder.state->bufferedBytes, 0);  // input not added
    EXPECT_EQ(decoder.state->oldestBuffer, nullptr);
    EXPECT_EQ(decodeFrame(decoder.state.get(), frame.data(), int(frame.size()), decoder.pcm, 4608, &outBytes),
              DEC_OK);
    EXPECT_GE(outBytes, 0);
    EXPECT_EQ(decoder.state->previousFrameSize, int(frame.size()) - 4);
}

TEST(DecodeFrame, ThreeBytesAreNotEnoughForAHeader) {
    Decoder decoder;
    const uint8_t bytes[3] = {0xFF, 0xFB, 0x90};
    EXPECT_EQ(decoder.feed(bytes, 3), DEC_NEED_MORE);
    EXPECT_EQ(decoder.outBytes, -7);
    EXPECT_EQ(decoder.state->bufferedBytes, 3);
    EXPECT_EQ(decoder.state->frameSize, 0);
    EXPECT_EQ(decoder.feed(nullptr, 0), DEC_NEED_MORE);
    EXPECT_EQ(decoder.state->bufferedBytes, 3);
}

TEST(DecodeFrame, InvalidHeadersConsumeFourBytesEach) {
    Decoder decoder;
    // Invalid sync, then a free-format header (valid word, undecodable), then
    // bitrate index 15.
    const Bytes bytes = {0x12, 0x34, 0x56, 0x78, 0xFF, 0xFB, 0x00, 0x64, 0xFF, 0xFB, 0xF0, 0x64, 0xAA};
    EXPECT_EQ(decoder.feed(bytes), DEC_ERR);
    EXPECT_EQ(decoder.outBytes, -7);
    EXPECT_EQ(decoder.state->bufferedBytes, 9);
    EXPECT_EQ(decoder.state->header, 0x12345678u);
    EXPECT_EQ(decoder.state->frameSize, 0);
    EXPECT_EQ(decoder.feed(nullptr, 0), DEC_ERR);
    EXPECT_EQ(decoder.state->bufferedBytes, 5);
    EXPECT_EQ(decoder.state->header, 0xFFFB0064u);
    EXPECT_EQ(decoder.feed(nullptr, 0), DEC_ERR);
    EXPECT_EQ(decoder.state->bufferedBytes, 1);
    EXPECT_EQ(decoder.feed(nullptr, 0), DEC_NEED_MORE);
    EXPECT_EQ(decoder.state->bufferedBytes, 1);
}

TEST(DecodeFrame, LayerOneFramesAreRefusedEvenAfterAnotherFrame) {
    const Bytes frames = leadingFrames(test::testDataBytes("encoded/l2_mpeg1_44100_joint_128k_pad.mp2"), 1);
    Decoder decoder;
    ASSERT_EQ(decoder.feed(frames), DEC_OK);
    const int previous = decoder.state->previousFrameSize;
    const int area = decoder.state->reservoirIndex;
    // MPEG-1 layer I, 128 kbit/s, 44100 Hz, followed by a body's worth of bytes.
    Bytes layerOne = {0xFF, 0xFF, 0x40, 0x00};
    layerOne.resize(500, 0);
    EXPECT_EQ(decoder.feed(layerOne), DEC_ERR);
    EXPECT_EQ(decoder.outBytes, -7);
    EXPECT_EQ(decoder.state->frame.layer, 1);
    EXPECT_EQ(decoder.state->frameSize, 0);
    EXPECT_EQ(decoder.state->bufferedBytes, 496);
    EXPECT_EQ(decoder.state->previousFrameSize, previous);
    EXPECT_EQ(decoder.state->reservoirIndex, area);

    Decoder fresh;
    EXPECT_EQ(fresh.feed(layerOne), DEC_ERR);
    EXPECT_EQ(fresh.state->bufferedBytes, 496);
}

TEST(DecodeFrame, ByteAtATimeReadsTheHeaderOnce) {
    const Bytes frames = leadingFrames(test::testDataBytes("encoded/l3_mpeg1_44100_joint_128k.mp3"), 2);
    Decoder decoder;
    const int firstLength = decoder.state->frame.frameSize;  // 0 until read
    EXPECT_EQ(firstLength, 0);
    FrameInfo first{};
    decodeHeader(&first, wordAt(frames, 0));
    const int length = first.frameSize + 4;
    for (int i = 0; i < length; ++i) {
        const int result = decoder.feed(&frames[size_t(i)], 1);
        if (i < length - 1) {
            ASSERT_EQ(result, DEC_NEED_MORE) << i;
            ASSERT_EQ(decoder.outBytes, -7);
            if (i >= 3) {
                ASSERT_EQ(decoder.state->frameSize, first.frameSize);
                ASSERT_EQ(decoder.state->bufferedBytes, i - 3);
                ASSERT_EQ(decoder.state->header, wordAt(frames, 0));
            } else {
                ASSERT_EQ(decoder.state->bufferedBytes, i + 1);
            }
        } else {
            ASSERT_EQ(result, DEC_OK);
        }
    }
    EXPECT_EQ(decoder.state->frameSize, 0);
    EXPECT_EQ(decoder.state->previousFrameSize, first.frameSize);
    EXPECT_EQ(decoder.state->bufferedBytes, 0);
    EXPECT_EQ(decoder.chainLength(), 0);  // used-up buffers are freed at once
}

TEST(DecodeFrame, PiecesDecodeExactlyLikeOneBuffer) {
    for (const char* name : {"encoded/l3_mpeg1_44100_joint_128k.mp3", "encoded/l2_mpeg1_48000_stereo_384k_crc.mp2",
                             "encoded/l3_mpeg2_22050_joint_64k.mp3", "encoded/l2_mpeg2_22050_joint_64k_pad.mp2",
                             "iso/l2-fl13.bit"}) {
        SCOPED_TRACE(name);
        const Bytes frames = leadingFrames(test::testDataBytes(name), 6);
        const Outcome whole = decodeInPieces(frames, {int(frames.size())});
        const Outcome single = decodeInPieces(frames, {1});
        const Outcome uneven = decodeInPieces(frames, {5, 1, 300, 2, 997, 3, 40});
        ASSERT_EQ(whole.results, std::vector<int>(6, DEC_OK));
        EXPECT_EQ(single.results, whole.results);
        EXPECT_EQ(uneven.results, whole.results);
        EXPECT_EQ(single.outBytes, whole.outBytes);
        EXPECT_EQ(uneven.outBytes, whole.outBytes);
        EXPECT_EQ(single.pcm, whole.pcm);
        EXPECT_EQ(uneven.pcm, whole.pcm);
    }
}

// A stand-in layer routine that records where the cursor stands when the
// frame assembly hands over, and can fail or step back on request.
struct Spy {
    int calls = 0;
    const uint8_t* pointer = nullptr;
    int bit = -1;
    const uint8_t* limit = nullptr;
    Bytes firstBytes;
    int result = 0;
    int stepBackBy = -1;
    int stepBackResult = 99;
    Bytes steppedBack;
};
Spy spy;

int spyRoutine(FrameInfo*, uint8_t*, int* outBytes) {
    ++spy.calls;
    spy.pointer = readPointer;
    spy.bit = bitIndex;
    spy.limit = readLimit;
    spy.firstBytes.assign(readPointer, readPointer + 4);
    if (spy.stepBackBy >= 0) {
        spy.stepBackResult = stepBack(spy.stepBackBy);
        spy.steppedBack.assign(readPointer, readPointer + spy.stepBackBy);
    }
    *outBytes += 4;
    return spy.result;
}

// Feeds a frame's header and part of its body, swaps in the spy, then the rest.
int feedWithSpy(Decoder& decoder, const Bytes& frame, size_t split = 10) {
    EXPECT_EQ(decoder.feed(frame.data(), int(split)), DEC_NEED_MORE);
    decoder.state->frame.decodeLayer = spyRoutine;
    return decoder.feed(frame.data() + split, int(frame.size() - split));
}

TEST(DecodeFrame, CrcIsSkippedAndTheBodyLandsAfterTheLeadIn) {
    const Bytes frame = leadingFrames(test::testDataBytes("encoded/l2_mpeg1_48000_stereo_384k_crc.mp2"), 1);
    spy = Spy{};
    Decoder decoder;
    ASSERT_EQ(feedWithSpy(decoder, frame), DEC_OK);
    ASSERT_EQ(spy.calls, 1);
    DecoderState* s = decoder.state.get();
    EXPECT_EQ(spy.pointer, s->reservoir[0] + kReservoirLeadIn + 2);
    EXPECT_EQ(spy.bit, 0);
    EXPECT_EQ(spy.limit, s->reservoir[0] + kReservoirAreaBytes - kReaderSlack);
    EXPECT_EQ(Bytes(spy.firstBytes), Bytes(frame.begin() + 6, frame.begin() + 10));
    EXPECT_EQ(std::memcmp(s->reservoir[0] + kReservoirLeadIn, frame.data() + 4, frame.size() - 4), 0);
    EXPECT_EQ(decoder.outBytes, 4);  // counted from 0 by the routine
    EXPECT_EQ(s->reservoirIndex, 1);
}

TEST(DecodeFrame, AreasAlternateFrameByFrame) {
    const Bytes frames = leadingFrames(test::testDataBytes("encoded/l3_mpeg1_44100_joint_128k.mp3"), 3);
    FrameInfo first{};
    decodeHeader(&first, wordAt(frames, 0));
    const size_t firstLength = size_t(first.frameSize) + 4;
    spy = Spy{};
    Decoder decoder;
    ASSERT_EQ(feedWithSpy(decoder, Bytes(frames.begin(), frames.begin() + long(firstLength))), DEC_OK);
    EXPECT_EQ(spy.pointer, decoder.state->reservoir[0] + kReservoirLeadIn);
    const Bytes rest(frames.begin() + long(firstLength), frames.end());
    ASSERT_EQ(feedWithSpy(decoder, rest), DEC_OK);
    EXPECT_EQ(spy.pointer, decoder.state->reservoir[1] + kReservoirLeadIn);
    EXPECT_EQ(spy.limit, decoder.state->reservoir[1] + kReservoirAreaBytes - kReaderSlack);
    EXPECT_EQ(decoder.state->reservoirIndex, 0);
}

TEST(DecodeFrame, FailingLayerRoutineLeavesTheFramePending) {
    const Bytes frame = leadingFrames(test::testDataBytes("encoded/l3_mpeg1_44100_joint_128k.mp3"), 1);
    spy = Spy{};
    spy.result = -1;
    Decoder decoder;
    ASSERT_EQ(feedWithSpy(decoder, frame), DEC_ERR);
    EXPECT_EQ(spy.calls, 1);
    EXPECT_EQ(decoder.outBytes, 4);
    DecoderState* s = decoder.state.get();
    EXPECT_EQ(s->bufferedBytes, 0);  // body consumed
    EXPECT_EQ(s->reservoirIndex, 1);
    EXPECT_EQ(s->frameSize, int(frame.size()) - 4);
    EXPECT_EQ(s->previousFrameSize, -1);
}

TEST(DecodeFrame, LargestBodyFitsItsArea) {
    // Layer II, MPEG-2.5, 160 kbit/s, 8000 Hz, padded, no CRC: 2877-byte body.
    Bytes frame = {0xFF, 0xE5, 0xEA, 0x00};
    for (int i = 0; i < 2877; ++i) frame.push_back(uint8_t(i * 7 + 1));
    spy = Spy{};
    Decoder decoder;
    // A sentinel just past where the body will end in area 0.
    DecoderState* s = decoder.state.get();
    s->reservoir[0][kReservoirLeadIn + 2877] = 0xA5;
    ASSERT_EQ(feedWithSpy(decoder, frame, 2000), DEC_OK);
    EXPECT_EQ(s->previousFrameSize, 2877);
    EXPECT_EQ(std::memcmp(s->reservoir[0] + kReservoirLeadIn, frame.data() + 4, 2877), 0);
    EXPECT_EQ(s->reservoir[0][kReservoirLeadIn + 2877], 0xA5);
    // The readers' look-ahead past the body stays inside the area.
    EXPECT_LE(kReservoirLeadIn + 2877 + 2, kReservoirAreaBytes);
}

TEST(StepBack, FirstFrameCannotReachBack) {
    const Bytes frame = leadingFrames(test::testDataBytes("encoded/l3_mpeg1_44100_joint_128k.mp3"), 1);
    spy = Spy{};
    spy.stepBackBy = 10;
    Decoder decoder;
    ASSERT_EQ(feedWithSpy(decoder, frame), DEC_OK);
    EXPECT_EQ(spy.stepBackResult, -1);
    EXPECT_EQ(spy.pointer, decoder.state->reservoir[0] + kReservoirLeadIn);
    EXPECT_EQ(readPointer, spy.pointer);  // cursor untouched

    spy = Spy{};
    spy.stepBackBy = 0;
    Decoder other;
    ASSERT_EQ(feedWithSpy(other, frame), DEC_OK);
    EXPECT_EQ(spy.stepBackResult, 0);
    EXPECT_EQ(readPointer, spy.pointer);
}

TEST(StepBack, CopiesTheEndOfThePreviousBody) {
    const Bytes frames = leadingFrames(test::testDataBytes("encoded/l3_mpeg1_44100_joint_128k.mp3"), 2);
    FrameInfo first{};
    decodeHeader(&first, wordAt(frames, 0));
    const size_t firstLength = size_t(first.frameSize) + 4;
    Decoder decoder;
    spy = Spy{};
    ASSERT_EQ(feedWithSpy(decoder, Bytes(frames.begin(), frames.begin() + long(firstLength))), DEC_OK);
    spy = Spy{};
    spy.stepBackBy = 300;
    readPointer = nullptr;
    bitIndex = 5;
    ASSERT_EQ(feedWithSpy(decoder, Bytes(frames.begin() + long(firstLength), frames.end())), DEC_OK);
    EXPECT_EQ(spy.stepBackResult, 0);
    EXPECT_EQ(readPointer, decoder.state->reservoir[1] + kReservoirLeadIn - 300);
    EXPECT_EQ(bitIndex, 0);
    EXPECT_EQ(spy.steppedBack, Bytes(frames.begin() + long(firstLength) - 300, frames.begin() + long(firstLength)));
}

}  // namespace
}  // namespace sorvil
