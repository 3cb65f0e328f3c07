// songlist.m3u8 for every other player: written on request in either mode,
// kept true by later copy runs, and read back by a real player's playlist
// parser (ffmpeg's, which takes it for a live playlist and so waits a few
// seconds for more songs: both modes are read at once).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/collection_test.h"
#include "support/program_run.h"

namespace sorvil {
namespace {

using namespace test;

class Playlist : public CollectionTest {};

// The files the player opened, in its order, as its log names them.
std::vector<std::string> filesOpened(const std::string& log) {
    std::vector<std::string> files;
    const std::string opening = "] Opening '", reading = "' for reading";
    for (size_t at = 0; (at = log.find(opening, at)) != std::string::npos;) {
        at += opening.size();
        files.push_back(log.substr(at, log.find(reading, at) - at));
    }
    return files;
}

TEST_F(Playlist, WrittenOnRequestKeptByCopyRunsAndReadByAPlayer) {
    for (const char* folder : {"Band/Live", "#Hash"}) makeFolder(at(folder));
    copyInto(testData("encoded/l3_mpeg1_44100_joint_128k.mp3"), at("Band/b.mp3"));
    copyInto(testData("encoded/l2_mpeg1_48000_mono_48k.mp2"), at("Band/Live/a, live.mp3"));
    copyInto(testData("encoded/l3_mpeg2_22050_joint_64k.mp3"), at("#Hash/h.mp3"));
    EXPECT_EQ(runSorvil(tree, {}).status, 0);
    EXPECT_FALSE(exists(at("songlist.m3u8")));
    EXPECT_EQ(runSorvil(tree, {"--m3u"}).status, 0);
    // A new first artist: every copy moves, and the playlist follows without the option.
    makeFolder(at("0 First"));
    copyInto(testData("encoded/l3_mpeg1_44100_joint_128k.mp3"), at("0 First/f.mp3"));
    EXPECT_EQ(runSorvil(tree, {}).status, 0);
    EXPECT_EQ(readFile(at("songlist.m3u8")), "#EXTM3U\r\n#EXTINF:1,#Hash - h\r\nmusic/song0000.mp3\r\n"
                                             "#EXTINF:1,0 First - f\r\nmusic/song0001.mp3\r\n"
                                             "#EXTINF:1,Band - b\r\nmusic/song0002.mp3\r\n"
                                             "#EXTINF:1,Band - a, live\r\nmusic/song0003.mp3\r\n");
    ASSERT_EQ(std::rename(at("songlist.m3u8").c_str(), at("copies.m3u8").c_str()), 0);
    EXPECT_EQ(runSorvil(tree, {"--m3u", "nocopy"}).status, 0);

    const std::string player = "ffmpeg -nostdin -hide_banner -f hls -live_start_index 0 -i ";
    ASSERT_EQ(std::system(("cd '" + root + "' && { " + player + "copies.m3u8 -f null - 2>copies.log & " + player +
                           "songlist.m3u8 -f null - 2>own.log; } && wait")
                              .c_str()),
              0);
    EXPECT_EQ(filesOpened(readFile(at("copies.log"))),
              (std::vector<std::string>{"music/song0000.mp3", "music/song0001.mp3", "music/song0002.mp3",
                                        "music/song0003.mp3"}));
    EXPECT_EQ(filesOpened(readFile(at("own.log"))),
              (std::vector<std::string>{"./#Hash/h.mp3", "0 First/f.mp3", "Band/b.mp3", "Band/Live/a, live.mp3"}));
}

}  // namespace
}  // namespace sorvil
