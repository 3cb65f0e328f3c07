// The sorvil program over a small collection of real encoder files: the
// durations it prints and records, and the message for a song without a
// usable first frame.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/program_run.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

using test::readFile;
using test::testData;
using test::writeFile;

std::string fixture(const std::string& name) { return readFile(testData("streams/" + name)); }

// The VBR fixture with its Xing frame count (at byte 36 + 8) replaced.
std::string withXingFrames(uint32_t frames) {
    std::string bytes = fixture("lame_vbr_xing_44100.mp3");
    for (int i = 0; i < 4; ++i) bytes[size_t(44 + i)] = char(frames >> (24 - 8 * i));
    return bytes;
}

class Durations : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(dir.file("Alpha"));
        std::filesystem::create_directory(dir.file("Beta"));
        // Frame counts and seconds as worked out in the stream creation tests.
        writeFile(dir.file("Alpha/a cbr.mp3"), fixture("lame_cbr128_44100.mp3"));         // Info: 40 x 26 ms
        writeFile(dir.file("Alpha/b vbr.mp3"), fixture("lame_vbr_xing_44100.mp3"));       // Xing: 59 x 26 ms
        writeFile(dir.file("Alpha/c eight.mp3"), fixture("lame_mpeg25_8000_mono8.mp3"));  // 30 x 72 ms
        writeFile(dir.file("Beta/d tagged.mp3"), fixture("id3v2_and_id3v1.mp3"));         // 40 x 26 ms
        writeFile(dir.file("Beta/e broken.mp3"), fixture("frame_beyond_window.mp3"));     // no stream
        writeFile(dir.file("Beta/f layer2.mp3"), fixture("twolame_l2_48000_160.mp2"));    // 42 x 24 ms
        writeFile(dir.file("Beta/g long.mp3"), withXingFrames(10000));    // 260000 ms
        writeFile(dir.file("Beta/h longer.mp3"), withXingFrames(230770));  // 6000020 ms
    }
    test::TempDir dir;
};

TEST_F(Durations, PrintedAndRecorded) {
    const test::RunResult run = test::runSorvil(dir, {});
    ASSERT_EQ(run.status, 0) << run.output;
    const char* printed[] = {"  a cbr: 00:01\n",   "  b vbr: 00:01\n", "  c eight: 00:02\n", "  d tagged: 00:01\n",
                             "  f layer2: 00:01\n", "  g long: 04:20\n", "  h longer: 100:00\n"};
    for (const char* line : printed) EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;
    EXPECT_NE(run.output.find("  e broken: ERROR: Cannot create MP3 Beta/e broken.mp3"), std::string::npos)
        << run.output;

    EXPECT_EQ(readFile(dir.file("songlist.ini")),
              "Alpha|a cbr|song0000.mp3|1\r\n"
              "Alpha|b vbr|song0001.mp3|1\r\n"
              "Alpha|c eight|song0002.mp3|2\r\n"
              "Beta|d tagged|song0003.mp3|1\r\n"
              "Beta|e broken|song0004.mp3|0\r\n"
              "Beta|f layer2|song0005.mp3|1\r\n"
              "Beta|g long|song0006.mp3|260\r\n"
              "Beta|h longer|song0007.mp3|6000\r\n");
}

TEST_F(Durations, NoCopyRecordsTheSongsOwnNames) {
    const test::RunResult run = test::runSorvil(dir, {"NoCopy"});
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string list = readFile(dir.file("songlist.ini"));
    EXPECT_NE(list.find("Alpha|c eight|c eight.mp3|2\r\n"), std::string::npos) << list;
    EXPECT_NE(list.find("Beta|g long|g long.mp3|260\r\n"), std::string::npos) << list;
    EXPECT_FALSE(std::filesystem::exists(dir.file("music")));
}

}  // namespace
}  // namespace sorvil
