// Stream creation on real encoder output and on crafted images: tags, the
// first-frame search, the frame-count headers (Xing, Info, VBRI), frame
// counts, and images that must never be read past their end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "mp3stream/mp3stream.h"
#include "support/guarded_image.h"
#include "support/temp_dir.h"
#include "support/test_streams.h"

namespace sorvil {
namespace {

using test::Created;
using test::GuardedImage;

std::string streamFile(const std::string& name) { return test::readFile(test::testData("streams/" + name)); }

// What a file's bytes say, worked out by hand (see the table below).
struct Expected {
    const char* file;
    int tagSize, dataOffset, dataLength, frameLength, bitrate, sampleRate, stereo, layer, outBytesPerFrame,
        totalFrames, frameMs, lengthMs, seconds;
};
void PrintTo(const Expected& expected, std::ostream* out) { *out << expected.file; }

// The working, from each file's first four bytes and its size:
// frame length = 144 * bitrate / rate (+ padding) for MPEG-1 and for layer II,
// 72 * bitrate / rate for layer III at the lower rates; totalFrames = data
// length / frame length (truncated) unless a header's frame count is present;
// frame ms = trunc(PCM bytes per frame / PCM bytes per second * 1000).
//  - lame_cbr128_44100: FFFB9064 = MPEG-1 L3 128k 44100 joint, no padding: 417.
//    An "Info" header at offset 36, read as "Xing": flags 0xF, frames 0x28 = 40 (the
//    header frame not counted; the division would give 17135 / 417 = 41); 4608 / 176400
//    -> 26 ms; 40 * 26 = 1040 ms.
//  - lame_vbr_xing_44100: same header; "Xing" at offset 36, flags 0xF, frames 0x3B = 59;
//    59 * 26 = 1534 ms.
//  - lame_notag_cbr128_44100: 16718 / 417 = 40 frames (16680), 1040 ms.
//  - lame_crc_mono64_32000: FFFA58C4 = MPEG-1 L3, CRC, 64k, 32000, mono: 288; 8352 / 288 = 29;
//    2304 / 64000 -> 36 ms; 1044 ms.
//  - lame_mpeg2_22050_64: FFF38064 = MPEG-2 L3 64k 22050 joint: 72 * 64000 / 22050 = 208;
//    8568 / 208 = 41; 576-sample frames: 2304 / 88200 -> 26 ms; 1066 ms.
//  - lame_mpeg2_16000_mono32: FFF348C4 = MPEG-2 L3 32k 16000 mono: 144; 4320 / 144 = 30;
//    1152 / 32000 -> 36 ms; 1080 ms.
//  - lame_mpeg25_11025_32: FFE34064 = MPEG-2.5 L3 32k 11025 joint: 208; 4597 / 208 = 22;
//    2304 / 44100 -> 52 ms; 1144 ms.
//  - lame_mpeg25_8000_mono8: FFE318C4 = MPEG-2.5 L3 8k 8000 mono: 72; 2160 / 72 = 30;
//    1152 / 16000 -> 72 ms; 2160 ms = 2 s.
//  - twolame_l2_48000_160: FFFD9404 = MPEG-1 L2 160k 48000 stereo: 480; 20160 / 480 = 42;
//    4608 / 192000 -> 24 ms; 1008 ms.
//  - twolame_l2_mpeg2_24000_mono48: FFF564C4 = MPEG-2 L2 48k 24000 mono: 144 * 48000 / 24000
//    = 288 (no halving for layer II); 6048 / 288 = 21; 2304 / 48000 -> 48 ms; 1008 ms.
//  - ffmpeg_l2_44100_192: FFFDA004 = MPEG-1 L2 192k 44100 stereo, no padding: 626;
//    24450 / 626 = 39; 26 ms; 1014 ms.
//  - The tagged copies hold the 16718 bytes of lame_notag_cbr128_44100 (40 frames):
//    id3v1: 16846 - 128; id3v2_no_footer: size bytes 00 00 02 46 = 326, + 10 = 336;
//    id3v2_footer: size bytes 00 00 01 01 = 129, flags 0x10, + 20 = 149;
//    id3v2_and_id3v1: 70 + 10 = 80 in front, 128 behind (16926 - 80 - 128 = 16718);
//    garbage_before: 244 bytes of garbage (a false sync word at 200).
//  - single_frame: one 417-byte frame: 1 frame, 26 ms, 0 s.
const Expected kFiles[] = {
    {"lame_cbr128_44100.mp3", 0, 0, 17135, 417, 128000, 44100, -1, 3, 4608, 40, 26, 1040, 1},
    {"lame_vbr_xing_44100.mp3", 0, 0, 10848, 417, 128000, 44100, -1, 3, 4608, 59, 26, 1534, 1},
    {"lame_notag_cbr128_44100.mp3", 0, 0, 16718, 417, 128000, 44100, -1, 3, 4608, 40, 26, 1040, 1},
    {"lame_crc_mono64_32000.mp3", 0, 0, 8352, 288, 64000, 32000, 0, 3, 2304, 29, 36, 1044, 1},
    {"lame_mpeg2_22050_64.mp3", 0, 0, 8568, 208, 64000, 22050, -1, 3, 2304, 41, 26, 1066, 1},
    {"lame_mpeg2_16000_mono32.mp3", 0, 0, 4320, 144, 32000, 16000, 0, 3, 1152, 30, 36, 1080, 1},
    {"lame_mpeg25_11025_32.mp3", 0, 0, 4597, 208, 32000, 11025, -1, 3, 2304, 22, 52, 1144, 1},
    {"lame_mpeg25_8000_mono8.mp3", 0, 0, 2160, 72, 8000, 8000, 0, 3, 1152, 30, 72, 2160, 2},
    {"twolame_l2_48000_160.mp2", 0, 0, 20160, 480, 160000, 48000, -1, 2, 4608, 42, 24, 1008, 1},
    {"twolame_l2_mpeg2_24000_mono48.mp2", 0, 0, 6048, 288, 48000, 24000, 0, 2, 2304, 21, 48, 1008, 1},
    {"ffmpeg_l2_44100_192.mp2", 0, 0, 24450, 626, 192000, 44100, -1, 2, 4608, 39, 26, 1014, 1},
    {"id3v1.mp3", 128, 0, 16718, 417, 128000, 44100, -1, 3, 4608, 40, 26, 1040, 1},
    {"id3v2_no_footer.mp3", 0, 336, 16718, 417, 128000, 44100, -1, 3, 4608, 40, 26, 1040, 1},
    {"id3v2_footer.mp3", 0, 149, 16718, 417, 128000, 44100, -1, 3, 4608, 40, 26, 1040, 1},
    {"id3v2_and_id3v1.mp3", 128, 80, 16718, 417, 128000, 44100, -1, 3, 4608, 40, 26, 1040, 1},
    {"garbage_before.mp3", 0, 244, 16718, 417, 128000, 44100, -1, 3, 4608, 40, 26, 1040, 1},
    {"single_frame.mp3", 0, 0, 417, 417, 128000, 44100, -1, 3, 4608, 1, 26, 26, 0},
};

class RealFiles : public ::testing::TestWithParam<Expected> {};

TEST_P(RealFiles, StreamAndDurationMatchTheFile) {
    const Expected& e = GetParam();
    Created created(streamFile(e.file));
    Mp3Stream* s = created.stream;
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->tagSize, e.tagSize);
    EXPECT_EQ(s->dataOffset, e.dataOffset);
    EXPECT_EQ(s->dataStart, created.image.data() + e.dataOffset);
    EXPECT_EQ(s->dataCursor, s->dataStart);
    EXPECT_EQ(s->dataLength, e.dataLength);
    EXPECT_EQ(s->frameLength, e.frameLength);
    EXPECT_EQ(s->bitrate, e.bitrate);
    EXPECT_EQ(s->sampleRate, e.sampleRate);
    EXPECT_EQ(s->stereo, e.stereo);
    EXPECT_EQ(s->sampleBits, 16);
    EXPECT_EQ(s->audioLayer, e.layer);
    EXPECT_EQ(s->outBytesPerFrame, e.outBytesPerFrame);
    EXPECT_EQ(s->totalFrames, e.totalFrames);
    EXPECT_EQ(s->currentFrame, 0);
    EXPECT_EQ(s->needsReset, 0);
    EXPECT_EQ(s->autoPolling, 0);
    EXPECT_EQ(s->audioStream, nullptr);
    EXPECT_EQ(mp3StreamTotalFrames(s), e.totalFrames);
    EXPECT_EQ(mp3StreamFrameMs(s), e.frameMs);
    EXPECT_EQ(mp3StreamLengthMs(s), e.lengthMs);
    EXPECT_EQ(mp3StreamLengthSeconds(s), e.seconds);
    // The probe leaves no trace in the stream's own decoder.
    EXPECT_EQ(s->decoder.oldestBuffer, nullptr);
    EXPECT_EQ(s->decoder.bufferedBytes, 0);
    EXPECT_EQ(s->decoder.previousFrameSize, -1);
    EXPECT_EQ(s->decoder.frameSize, 0);
}

INSTANTIATE_TEST_SUITE_P(Encoders, RealFiles, ::testing::ValuesIn(kFiles),
                         [](const auto& testCase) { return test::identifierOf(testCase.param.file); });

TEST(StreamCreate, XingHeaderIsParsed) {
    Created created(streamFile("lame_vbr_xing_44100.mp3"));
    ASSERT_NE(created.stream, nullptr);
    const XingInfo* xing = created.stream->xing;
    ASSERT_NE(xing, nullptr);
    EXPECT_EQ(xing->flags, 0xF);
    EXPECT_EQ(xing->frames, 59);
    EXPECT_EQ(xing->bytes, 10848);
    EXPECT_EQ(xing->toc[0], 0x00);
    EXPECT_EQ(xing->toc[99], 0xFF);
    EXPECT_EQ(xing->scale, 40);

    // "Info" is the same header under the name constant-bitrate streams use.
    Created info(streamFile("lame_cbr128_44100.mp3"));
    ASSERT_NE(info.stream, nullptr);
    ASSERT_NE(info.stream->xing, nullptr);
    EXPECT_EQ(info.stream->xing->flags, 0xF);
    EXPECT_EQ(info.stream->xing->frames, 40);
    EXPECT_EQ(info.stream->xing->bytes, 0x42EF);
    EXPECT_EQ(info.stream->xing->scale, 0x39);
    EXPECT_EQ(info.stream->totalFrames, 40);
    // The names are matched exactly, case included.
    std::string lower = streamFile("lame_cbr128_44100.mp3");
    lower[36] = 'i';
    Created unnamed(lower);
    ASSERT_NE(unnamed.stream, nullptr);
    EXPECT_EQ(unnamed.stream->xing, nullptr);
    EXPECT_EQ(unnamed.stream->totalFrames, 41);
}

TEST(StreamCreate, XingWithoutFrameCountIsPassedByTheWalk) {
    std::string bytes = streamFile("lame_vbr_xing_44100.mp3");
    bytes[36 + 7] = 0x0E;  // flags without the frame count
    Created created(bytes);
    ASSERT_NE(created.stream, nullptr);
    ASSERT_NE(created.stream->xing, nullptr);
    EXPECT_EQ(created.stream->xing->flags, 0xE);
    EXPECT_EQ(created.stream->xing->bytes, 59);  // the fields move up: the old count is read as bytes
    // The frames are walked, the header frame not counted: the 59 its count gave.
    EXPECT_EQ(created.stream->totalFrames, 59);
}

// MPEG-2 layer III, 24000 Hz, mono frames of silence at 8, 16, 32 or 64
// kbit/s (24, 48, 96 or 192 bytes).
std::string silentFrame(int kbps) {
    const int index = kbps == 8 ? 1 : kbps == 16 ? 2 : kbps == 32 ? 4 : 8;
    std::string frame(size_t(72 * kbps / 24), '\0');
    const char header[4] = {'\xFF', '\xF3', char(index << 4 | 0x04), '\xC4'};
    return frame.replace(0, 4, header, 4);
}

TEST(StreamCreate, HeaderlessVariableBitrateIsWalked) {
    // Junk holding a lone header of the same format (nothing a frame after it).
    const std::string junk = std::string("\x00\x01", 2) + silentFrame(8) + std::string(30, '\0');
    const std::string head = silentFrame(16) + silentFrame(8) + silentFrame(32);
    const std::pair<std::string, int> cases[] = {
        {head + junk + silentFrame(64) + silentFrame(8) + silentFrame(16).substr(0, 40), 5},  // last frame cut short
        {head + junk + silentFrame(64), 4},                 // resumes on a frame that ends the data
        {head + junk + silentFrame(64).substr(0, 100), 3},  // nothing to resume on
        // A frame at the very end of an ID3v1 trailer is not walked.
        {head + silentFrame(32) + "TAG" + std::string(101, 'x') + silentFrame(8), 4},
    };
    for (const auto& [bytes, frames] : cases) {
        Created created(bytes);
        ASSERT_NE(created.stream, nullptr) << bytes.size();
        EXPECT_EQ(created.stream->totalFrames, frames) << bytes.size();
    }
}

TEST(StreamCreate, NoScaleMeansMinusOne) {
    std::string bytes = streamFile("lame_vbr_xing_44100.mp3");
    bytes[36 + 7] = 0x07;
    Created created(bytes);
    ASSERT_NE(created.stream, nullptr);
    ASSERT_NE(created.stream->xing, nullptr);
    EXPECT_EQ(created.stream->xing->scale, -1);
    EXPECT_EQ(created.stream->totalFrames, 59);
}

// One MPEG-2.5 layer III frame, 8 kbit/s at 8000 Hz, mono: 72 bytes, with a
// Xing header right after the 9 bytes of side information.
std::string tinyFrameWithXing(uint32_t flags) {
    std::string frame(72, '\0');
    const uint8_t header[4] = {0xFF, 0xE3, 0x18, 0xC4};
    std::memcpy(frame.data(), header, 4);
    std::memcpy(frame.data() + 13, "Xing", 4);
    for (int i = 0; i < 4; ++i) frame[size_t(17 + i)] = char(flags >> (24 - 8 * i));
    frame[24] = 7;  // frame count 7 when flagged
    return frame;
}

TEST(StreamCreate, XingThatFitsTheDataIsUsed) {
    Created created(tinyFrameWithXing(0x1));
    ASSERT_NE(created.stream, nullptr);
    ASSERT_NE(created.stream->xing, nullptr);
    EXPECT_EQ(created.stream->totalFrames, 7);
}

TEST(StreamCreate, XingRunningPastTheDataIsIgnored) {
    // Flags announce 4 + 4 + 100 + 4 bytes; the frame ends 47 bytes after the flags.
    Created created(tinyFrameWithXing(0xF));
    ASSERT_NE(created.stream, nullptr);
    EXPECT_EQ(created.stream->xing, nullptr);
    EXPECT_EQ(created.stream->totalFrames, 1);

    // The same when the bytes past the data are an ID3v1 trailer inside the image.
    std::string tagged = tinyFrameWithXing(0xF) + "TAG" + std::string(125, 'x');
    Created withTag(tagged);
    ASSERT_NE(withTag.stream, nullptr);
    EXPECT_EQ(withTag.stream->xing, nullptr);
    EXPECT_EQ(withTag.stream->dataLength, 72);
}

// Two MPEG-2 layer III frames, 8 kbit/s at 24000 Hz, mono, 24 bytes each
// and silent, with a VBRI header at byte 36 (in the second frame) whose
// frame count ends at byte 54, just after the frames: 54 bytes of data.
std::string tinyFramesWithVbri() {
    std::string frames;
    for (int i = 0; i < 2; ++i) frames += std::string("\xFF\xF3\x14\xC4", 4) + std::string(20, '\0');
    const char vbri[] = "VBRI\x00\x01\x00\x00\x00\x00\x00\x00\x00\x99\x00\x00\x00\x09";
    return frames.replace(36, 12, vbri, 18);
}

TEST(StreamCreate, VbriCountIsUsedOnlyWhenItLiesInsideTheData) {
    // Ending exactly with the data: read, kept in the Xing form.
    Created inside(tinyFramesWithVbri());
    ASSERT_NE(inside.stream, nullptr);
    ASSERT_NE(inside.stream->xing, nullptr);
    EXPECT_EQ(inside.stream->xing->flags, 0x3);
    EXPECT_EQ(inside.stream->xing->bytes, 0x99);
    EXPECT_EQ(inside.stream->xing->frames, 9);
    EXPECT_EQ(inside.stream->xing->scale, -1);
    EXPECT_EQ(inside.stream->totalFrames, 9);
    // One byte short: ignored, also when the rest lies in an ID3v1 trailer.
    const std::string cut = tinyFramesWithVbri().substr(0, 53);
    for (const std::string& bytes : {cut, cut + "TAG" + std::string(125, 'x')}) {
        Created past(bytes);
        ASSERT_NE(past.stream, nullptr);
        EXPECT_EQ(past.stream->xing, nullptr);
        EXPECT_EQ(past.stream->totalFrames, 53 / 24);
    }
    // A Xing header comes first: with one in place the VBRI one is not read.
    std::string frame = tinyFrameWithXing(0x1);
    frame.replace(36, 18, tinyFramesWithVbri().substr(36, 18));
    Created both(frame);
    ASSERT_NE(both.stream, nullptr);
    EXPECT_EQ(both.stream->totalFrames, 7);
}

TEST(StreamCreate, TinyImagesGiveNoStream) {
    const std::string cases[] = {
        std::string(),
        std::string("\xFF", 1),
        std::string("\xFF\xFB\x90", 3),
        std::string("\xFF\xFB\x90\x64", 4),
        std::string("ID3", 3),
        std::string("ID3\x03\x00\x00\x00\x00", 8),
        std::string(100, '\xFF'),
        "TAG" + std::string(125, '\xFF'),
        std::string("\xFF\xFB\x90\x64", 4) + std::string(123, '\0'),
    };
    for (const std::string& bytes : cases) {
        Created created(bytes);
        EXPECT_EQ(created.stream, nullptr) << bytes.size();
    }
    EXPECT_EQ(mp3StreamCreate(nullptr, 0), nullptr);
}

TEST(StreamCreate, Id3v2SizeLargerThanTheImageGivesNoStream) {
    const std::string audio = streamFile("lame_notag_cbr128_44100.mp3");
    std::string tag("ID3\x03\x00\x00\x7F\x7F\x7F\x7F", 10);
    Created huge(tag + audio);
    EXPECT_EQ(huge.stream, nullptr);
    // A size that covers exactly the whole image leaves no audio data.
    const int body = int(audio.size());
    tag[6] = char((body >> 21) & 0x7F);
    tag[7] = char((body >> 14) & 0x7F);
    tag[8] = char((body >> 7) & 0x7F);
    tag[9] = char(body & 0x7F);
    Created exact(tag + audio);
    EXPECT_EQ(exact.stream, nullptr);
}

TEST(StreamCreate, CandidatesAtTheVeryEndOfTheImage) {
    // Sync words in the last bytes of the image, and a frame followed by a
    // partial header that runs past the image: nothing may be read beyond it.
    const std::string frame = streamFile("single_frame.mp3");
    const std::string tails[] = {"\xFF", "\xFF\xFB", "\xFF\xFB\x90"};
    for (const std::string& tail : tails) {
        Created loose(std::string(1000, '\0') + tail);
        EXPECT_EQ(loose.stream, nullptr);
        Created afterFrame(frame + tail);
        EXPECT_EQ(afterFrame.stream, nullptr) << "a partial word is no header";
    }
}

// An ID3v2 tag of `size` bytes in all, footer included when flagged,
// filled with sync-like bytes that must be skipped.
std::string id3v2Tag(int size, bool footer) {
    const int body = size - (footer ? 20 : 10);
    std::string tag("ID3\x04\x00", 5);
    tag += char(footer ? 0x10 : 0);
    for (int shift = 21; shift >= 0; shift -= 7) tag += char((body >> shift) & 0x7F);
    return tag + std::string(size_t(size - 10), '\xFF');
}

TEST(StreamCreate, SearchWindowStartsAfterTheId3v2Tags) {
    // Tags of 30000 bytes in all: the frames lie beyond 28672 bytes of the
    // image but at the start of the audio data, also when a second tag (one
    // larger than the window) follows the first.
    const std::string song = streamFile("lame_notag_cbr128_44100.mp3");
    const std::string fronts[] = {id3v2Tag(30000, false), id3v2Tag(10, false) + id3v2Tag(29990, true),
                                  id3v2Tag(500, true) + id3v2Tag(29000, false) + id3v2Tag(500, false)};
    for (const std::string& front : fronts) {
        Created created(front + song);
        ASSERT_NE(created.stream, nullptr);
        EXPECT_EQ(created.stream->dataOffset, 30000);
        EXPECT_EQ(created.stream->totalFrames, 40);
    }
    // Junk between two tags ends the skipping: the window starts in the junk.
    Created junk(id3v2Tag(10, false) + "x" + id3v2Tag(29990, false) + song);
    EXPECT_EQ(junk.stream, nullptr);
}

TEST(StreamCreate, FirstFrameBeyondTheWindowGivesNoStream) {
    Created created(streamFile("frame_beyond_window.mp3"));
    EXPECT_EQ(created.stream, nullptr);
    // 28668 bytes in front still leave a header inside the window, but not its frame.
    Created partly(std::string(28668, '\0') + streamFile("lame_notag_cbr128_44100.mp3"));
    EXPECT_EQ(partly.stream, nullptr);
    // 28672 - 417 bytes in front: the whole first frame ends the window, accepted.
    Created fits(std::string(28672 - 417, '\0') + streamFile("lame_notag_cbr128_44100.mp3"));
    ASSERT_NE(fits.stream, nullptr);
    EXPECT_EQ(fits.stream->dataOffset, 28672 - 417);
}

// A plausible header every seven bytes (FF FB 90 64 00 00 00 ...): each one
// names a 417-byte frame, and 417 bytes on (417 = 7 * 59 + 4) lies a zero,
// so no candidate is followed by a header.
std::string windowOfFalseCandidates() {
    std::string bytes;
    while (bytes.size() < 28672) bytes += std::string("\xFF\xFB\x90\x64", 4) + std::string(3, '\0');
    bytes.resize(28672);
    return bytes;
}

TEST(StreamCreate, WindowFullOfFalseCandidatesGivesNoStream) {
    Created created(windowOfFalseCandidates() + streamFile("lame_notag_cbr128_44100.mp3"));
    EXPECT_EQ(created.stream, nullptr);
}

// The search as first laid out, kept naive on purpose as the oracle of the
// shared frame search: each candidate gets a fresh scratch decoder fed with
// the rest of the window. The images below keep every read of it inside the
// image. Gives the accepted position and the probe's PCM count.
std::pair<int, int> wholeWindowSearch(const std::string& bytes) {
    const auto* audio = reinterpret_cast<const uint8_t*>(bytes.data());
    const int window = std::min(int(bytes.size()), 28672);
    auto scratch = std::make_unique<DecoderState>();
    std::vector<uint8_t> output(kFrameOutputBytes);
    for (int i = 0; i < window; ++i) {
        if (!isFrameHeader(readBigEndian32(audio + i))) continue;
        decoderInit(scratch.get());
        int outBytes = 0;
        const int result =
            decodeFrame(scratch.get(), audio + i, window - i, output.data(), kFrameOutputBytes, &outBytes);
        const int next = i + scratch->frame.frameSize + 4;
        const bool accepted = result == DEC_OK && scratch->frame.frameSize > 0 &&
                              (next >= window || isFrameHeader(readBigEndian32(audio + next)));
        decoderExit(scratch.get());
        if (accepted) return {i, outBytes};
    }
    return {-1, 0};
}

std::string tiled(const std::string& pattern, size_t size) {
    std::string bytes;
    while (bytes.size() < size) bytes += pattern;
    bytes.resize(size);
    return bytes;
}

TEST(StreamCreate, SearchFindsWhatTheWholeWindowSearchFinds) {
    std::mt19937 random(7);
    std::string noise(5000, '\0');
    for (char& c : noise) c = (random() % 4 == 0) ? '\xFF' : char(random());
    // Candidates that decode-fail (window switching with block type 0) in an
    // unbroken chain of 72-byte frames, and 418-byte candidates never followed.
    const std::string failing = tiled(std::string("\xFF\xE3\x18\xC4", 4), 2000);
    const std::string unfollowed = "\x00" + tiled(std::string("\xFF\xFB\x92", 3), 3000);
    const char* songs[] = {"lame_mpeg25_8000_mono8.mp3", "lame_notag_cbr128_44100.mp3", "lame_crc_mono64_32000.mp3",
                           "twolame_l2_mpeg2_24000_mono48.mp2", "lame_mpeg2_22050_64.mp3"};
    for (const char* song : songs)
        for (const std::string& front : {failing, unfollowed, noise, failing + noise + unfollowed}) {
            const std::string bytes = front + streamFile(song);
            SCOPED_TRACE(std::string(song) + " after " + std::to_string(front.size()) + " bytes");
            const auto [position, outBytes] = wholeWindowSearch(bytes);
            Created created(bytes);
            if (position < 0) {
                EXPECT_EQ(created.stream, nullptr);
                continue;
            }
            ASSERT_NE(created.stream, nullptr);
            EXPECT_EQ(created.stream->dataOffset, position);
            if (outBytes > 0) {
                EXPECT_EQ(created.stream->outBytesPerFrame, outBytes);
            }
        }
}

TEST(StreamCreate, LayerOneIsNeverAccepted) {
    // MPEG-1 layer I, 32 kbit/s, 44100 Hz: 4 * (12 * 32000 / 44100) = 32-byte frames.
    std::string frames;
    for (int i = 0; i < 20; ++i) frames += std::string("\xFF\xFF\x10\x00", 4) + std::string(28, '\0');
    Created created(frames);
    EXPECT_EQ(created.stream, nullptr);
}

TEST(StreamCreate, WorkedFrameCountForAMillionBytes) {
    // 128 kbit/s at 44100 Hz without padding: 417-byte frames, 1,000,000 bytes.
    const std::string frame = streamFile("single_frame.mp3");
    std::string bytes;
    while (bytes.size() < 1000000) bytes += frame;
    bytes.resize(1000000);
    Created created(bytes);
    ASSERT_NE(created.stream, nullptr);
    EXPECT_EQ(created.stream->totalFrames, 2398);
    EXPECT_EQ(mp3StreamLengthMs(created.stream), 2398 * 26);
}

TEST(StreamHelpers, QuickHeaderTest) {
    EXPECT_EQ(isFrameHeader(0xFFFB9064), -1);
    EXPECT_EQ(isFrameHeader(0xFFFD9404), -1);  // layer II
    EXPECT_EQ(isFrameHeader(0xFFE318C4), -1);  // MPEG-2.5
    EXPECT_EQ(isFrameHeader(0xFFF38064), -1);  // MPEG-2
    EXPECT_EQ(isFrameHeader(0xFFEB9064), 0);   // reserved version 01
    EXPECT_EQ(isFrameHeader(0xFFFF9064), 0);   // layer I
    EXPECT_EQ(isFrameHeader(0xFFF99064), 0);   // layer bits 00
    EXPECT_EQ(isFrameHeader(0xFFFB0064), 0);   // free format
    EXPECT_EQ(isFrameHeader(0xFFFBF064), 0);   // bitrate index 15
    EXPECT_EQ(isFrameHeader(0xFFFB9C64), 0);   // sampling-rate bits 11
    EXPECT_EQ(isFrameHeader(0xFFDB9064), 0);   // sync bit 21 clear
    EXPECT_EQ(isFrameHeader(0xFFFB90FF), -1);  // the low byte is not tested
}

TEST(StreamHelpers, BigEndianAndId3v2Size) {
    const uint8_t word[4] = {0x12, 0x34, 0xAB, 0xCD};
    EXPECT_EQ(readBigEndian32(word), 0x1234ABCDu);
    const uint8_t noFooter[10] = {'I', 'D', '3', 3, 0, 0x00, 0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(id3v2Size(noFooter), ((1 << 21) | (2 << 14) | (3 << 7) | 4) + 10);
    const uint8_t footer[10] = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 5};
    EXPECT_EQ(id3v2Size(footer), 25);
    const uint8_t none[10] = {'I', 'D', '2', 3, 0, 0, 0, 0, 0, 5};
    EXPECT_EQ(id3v2Size(none), 0);
}

}  // namespace
}  // namespace sorvil
