// Durations over the check set of real encoders' files (made, with their
// walked frame counts in frames.txt, by tools/scripts/make-duration-set.sh): every
// file's length against the one its true number of audio frames gives with
// the same per-frame truncation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "mp3stream/mp3stream.h"
#include "support/guarded_image.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

using test::Created;

// One line of frames.txt.
struct WalkedFile {
    std::string name;
    int frames;          // audio frames, a header frame not counted
    std::string header;  // the first frame's frame-count header, "-" for none
    bool constant;       // every audio frame has the same bitrate
    int sampleRate;
    int samplesPerFrame;
};

std::vector<WalkedFile> walkedFiles() {
    std::istringstream lines(test::readFile(test::testData("durations/frames.txt")));
    std::vector<WalkedFile> files;
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        WalkedFile file;
        std::string bitrate;
        fields >> file.name >> file.frames >> file.header >> bitrate >> file.sampleRate >> file.samplesPerFrame;
        file.constant = bitrate == "constant";
        files.push_back(file);
    }
    return files;
}

// The frame duration as the stream truncates it: PCM bytes per frame over
// PCM bytes per second is samples per frame over the rate, the same double.
int expectedLengthMs(const WalkedFile& file) {
    return int(double(file.samplesPerFrame) / double(file.sampleRate) * 1000.0) * file.frames;
}

std::string describe(const WalkedFile& file, const Mp3Stream& stream) {
    return file.name + ": " + std::to_string(mp3StreamLengthMs(&stream)) + " ms reported (" +
           std::to_string(stream.totalFrames) + " frames), " + std::to_string(expectedLengthMs(file)) +
           " ms from the walked " + std::to_string(file.frames) + " frames";
}

// The length from a frame-count header or from the stream's own walk is
// exact, and so must the count be.
void expectExact(const WalkedFile& file, const Mp3Stream& stream) {
    EXPECT_EQ(mp3StreamLengthMs(&stream), expectedLengthMs(file)) << describe(file, stream);
    EXPECT_EQ(stream.totalFrames, file.frames) << describe(file, stream);
    if (file.header == "-") return;
    ASSERT_NE(stream.xing, nullptr) << file.name << ": its " << file.header << " header is not read";
    EXPECT_EQ(stream.xing->frames, file.frames) << file.name << ": " << file.header << " frame count";
}

// Without a header the count is data length / first frame length f. A
// constant-bitrate encoder adds the padding byte just often enough for its
// frames to average m = samples per frame / 8 * bitrate / rate bytes, so N
// frames hold N * m bytes to within one, and the division gives N * m / f
// to within 1 / f, truncated: off from N by at most N * |m - f| / f + 1 + 1 / f
// frames. The bound is that many whole frames times the frame duration.
void expectWithinTheDivisionBound(const WalkedFile& file, const Mp3Stream& stream) {
    const double f = stream.frameLength;
    const double m = file.samplesPerFrame / 8.0 * stream.bitrate / file.sampleRate;
    const int boundFrames = int(file.frames * std::abs(m - f) / f + 1.0 + 1.0 / f);
    const int boundMs = boundFrames * mp3StreamFrameMs(&stream);
    EXPECT_LE(std::abs(mp3StreamLengthMs(&stream) - expectedLengthMs(file)), boundMs)
        << describe(file, stream) << "; bound " << boundMs << " ms";
}

TEST(DurationSet, EveryFileAgainstItsWalkedFrames) {
    const std::vector<WalkedFile> files = walkedFiles();
    ASSERT_GT(files.size(), 100u);
    for (const WalkedFile& file : files) {
        Created created(test::readFile(test::testData("durations/" + file.name)));
        ASSERT_NE(created.stream, nullptr) << file.name;
        const Mp3Stream& stream = *created.stream;
        if (file.header == "-" && file.constant) {  // the division stands: no such duration changes
            expectWithinTheDivisionBound(file, stream);
            EXPECT_EQ(stream.totalFrames, stream.dataLength / stream.frameLength) << describe(file, stream);
        } else {  // a header's count, or a variable bitrate's walked one
            expectExact(file, stream);
        }
    }
}

// A real encoder's VBRI-headed stream, made from one with a Xing header: the
// Xing header frame (a frame without audio) is cleared after its four header
// bytes and gets a VBRI header at byte 36 with the same byte and frame
// counts and an empty seek table.
std::string withVbriInsteadOfXing(const std::string& bytes) {
    Created original(bytes);
    const Mp3Stream& stream = *original.stream;
    std::string changed = bytes;
    char* frame = changed.data() + stream.dataOffset;
    std::memset(frame + 4, 0, size_t(stream.frameLength - 4));
    const uint8_t vbri[26] = {'V', 'B', 'R', 'I', 0, 1, 0x04, 0x40, 0, 75};
    std::memcpy(frame + 36, vbri, sizeof vbri);
    for (int i = 0; i < 4; ++i) {
        frame[46 + i] = char(stream.xing->bytes >> (24 - 8 * i));
        frame[50 + i] = char(stream.xing->frames >> (24 - 8 * i));
    }
    return changed;
}

TEST(DurationSet, VbriHeadersGiveTheWalkedFrames) {
    int checked = 0;
    for (WalkedFile file : walkedFiles()) {
        if (file.header != "Xing") continue;
        Created created(withVbriInsteadOfXing(test::readFile(test::testData("durations/" + file.name))));
        ASSERT_NE(created.stream, nullptr) << file.name;
        file.header = "VBRI";
        expectExact(file, *created.stream);
        ++checked;
    }
    EXPECT_GE(checked, 18);
}

}  // namespace
}  // namespace sorvil
