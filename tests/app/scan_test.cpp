// The scan's numbering past the 8.3 names, reached by starting the count
// where a collection of ten thousand songs would have brought it.
#include "app/scan.h"

#include <gtest/gtest.h>

#include "app/song_list_file.h"
#include "platform/file_copy.h"
#include "platform/runtime.h"
#include "support/program_run.h"

namespace sorvil {
namespace {

TEST(Scan, NumbersPastSong9999GoOnAndSayOnceThatTheyOutgrow83) {
    test::TempDir dir;
    test::makeFolder(dir.file("A"));
    test::makeFolder(dir.file("music"));
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        test::copyInto(test::samplesFolder() + "/Cobalt Sky/Song.MP3", dir.file(std::string("A/") + name));
    SongListRun run;
    run.options.startFolder = runtime::openFolder(kCurrentFolder, dir.path().c_str());
    run.options.musicFolder = runtime::openFolder(kCurrentFolder, dir.file("music").c_str());
    run.options.musicName = "music";
    run.songNumber = 9999;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(scanArtists(run));
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find("  a: 00:01\nNOTE: more than 10000 songs; song10000.mp3 and the names after it are "
                          "longer than 8.3\n  b: 00:01\n  c: 00:01\n"),
              std::string::npos)
        << output;
    bool inPlace = false;
    ASSERT_EQ(writeSongList(run.options.startFolder, songListText(run), inPlace), 0);
    EXPECT_EQ(test::readFile(dir.file("songlist.ini")),
              "A|a|song9999.mp3|1\r\nA|b|song10000.mp3|1\r\nA|c|song10001.mp3|1\r\n");
    EXPECT_TRUE(test::exists(dir.file("music/song10001.mp3")));
}

}  // namespace
}  // namespace sorvil
