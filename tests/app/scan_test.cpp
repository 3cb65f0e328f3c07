// The scan's numbering past the 8.3 names, reached by starting the count
// where a collection of ten thousand songs would have brought it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/run_in_process.h"
#include "app/scan.h"
#include "support/program_run.h"

namespace sorvil {
namespace {

TEST(Scan, NumbersPastSong9999GoOnAndSayOnceThatTheyOutgrow83) {
    test::TempDir dir;
    test::makeFolder(dir.file("A"));
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        test::copyInto(test::samplesFolder() + "/Cobalt Sky/Song.MP3", dir.file(std::string("A/") + name));
    CommandLine command;
    command.folder = dir.path();
    const test::InProcessRun run = test::runInProcess(dir, command, [] { songNumber = 9999; });
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("  a: 00:01\nNOTE: more than 10000 songs; song10000.mp3 and the names after it are "
                              "longer than 8.3\n  b: 00:01\n  c: 00:01\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(test::readFile(dir.file("songlist.ini")),
              "A|a|song9999.mp3|1\r\nA|b|song10000.mp3|1\r\nA|c|song10001.mp3|1\r\n");
    EXPECT_TRUE(test::exists(dir.file("music/song10001.mp3")));
}

}  // namespace
}  // namespace sorvil
