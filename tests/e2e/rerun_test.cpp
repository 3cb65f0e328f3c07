// Re-runs of sorvil after each change a collection meets: which copies are
// written again (a copy's inode and birth time, which a move keeps and a new
// file lacks: a mark such as an extended attribute would change the copy's
// change time and so make it a copy to write again), which go, and that every
// listed copy holds its song.
// Every song has the same modification time, and the swapped songs the same
// size too, so sizes and times alone could not tell them apart.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/collection_test.h"
#include "support/listed_copies.h"
#include "support/program_run.h"

namespace sorvil {
namespace {

namespace fs = std::filesystem;
using namespace test;

const std::string BIG_SONG = samplesFolder() + "/Aurora Lane/Track #2.mp3";
const std::string SMALL_SONG = samplesFolder() + "/Cobalt Sky/Song.MP3";

// The song with one byte of its audio changed: same size, other bytes.
std::string variant(const std::string& path, char mark) {
    std::string bytes = readFile(path);
    bytes[bytes.size() / 2] = mark;
    return bytes;
}

// Each change as shell commands in the collection; ".spare" (hidden, so no
// artist) holds the songs they bring in. A rename changes the renamed file's
// change time: the swapped songs are copied anew.
const std::string SAME_TIME = "touch -d @1600000000 ";
const struct {
    const char* what;
    std::string commands;
    int written;       // copies the re-run writes
    int unrecorded = 0;  // files in "music" it writes over that no record names
} CHANGES[] = {
    {"nothing", "true", 0},
    {"a first artist", "mkdir A && cp .spare/n.mp3 A/new.mp3", 1},
    {"an artist removed from the middle", "rm -r C", 0},
    {"an artist renamed", "mv C '0 C'", 0},
    {"two artists trading names: their copies trade numbers", "mv B t && mv D B && mv t D", 0},
    {"two songs of one size and time swapped", "mv C/a.mp3 t && mv C/b.mp3 C/a.mp3 && mv t C/b.mp3", 2},
    {"a song edited keeping size and time", "cat .spare/e.mp3 >C/a.mp3 && " + SAME_TIME + "C/a.mp3", 1},
    {"a copy replaced by the user", "cp .spare/e.mp3 m && " + SAME_TIME + "m && mv m music/song0002.mp3", 1},
    {"a hand-edited list", "printf 'B|2|song0001.mp3|9\\r\\n' >songlist.ini", 0},
    {"a missing list", "rm songlist.ini", 0},
    {"a missing record of the copies", "rm music/.sorvil-copies", 6, 6},
    {"a nocopy run in between", std::string(SORVIL_BINARY_DIR) + "/sorvil nocopy >/dev/null", 0},
};

// A file's inode and birth time, or empty where the file system keeps none.
std::string birthOf(const std::string& path) {
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME, &info) != 0 ||
        !(info.stx_mask & STATX_BTIME))
        return {};
    return std::to_string(info.stx_ino) + "@" + std::to_string(info.stx_btime.tv_sec) + "." +
           std::to_string(info.stx_btime.tv_nsec);
}

class ReRun : public CollectionTest {
protected:
    void makeCollection() {
        for (const char* folder : {"B", "C", "D", ".spare"}) makeFolder(at(folder));
        const std::string songs[][2] = {{"B/1", readFile(SMALL_SONG)}, {"B/2", readFile(BIG_SONG)},
                                        {"C/a", variant(BIG_SONG, 'a')}, {"C/b", variant(BIG_SONG, 'b')},
                                        {"C/c", variant(SMALL_SONG, 'c')}, {"D/x", readFile(SMALL_SONG)},
                                        {".spare/n", variant(SMALL_SONG, 'n')}, {".spare/e", variant(BIG_SONG, 'e')}};
        for (const auto& [name, bytes] : songs) writeFile(at(name + ".mp3"), bytes);
        ASSERT_EQ(std::system(("cd '" + root + "' && " + SAME_TIME + "*/*.mp3").c_str()), 0);
    }

    // The console and list of a first run over the same songs.
    RunResult firstRun(std::string& list) {
        TempDir fresh;
        for (const auto& entry : fs::directory_iterator(root))
            if (entry.is_directory() && entry.path().filename() != "music")
                fs::copy(entry.path(), fresh.file(entry.path().filename()), fs::copy_options::recursive);
        RunResult run = runSorvil(fresh, {});
        list = readFile(fresh.file("songlist.ini"));
        return run;
    }
};

TEST_F(ReRun, WritesOnlyNewOrChangedSongsMovesTheRestAndRemovesStaleCopies) {
    for (const auto& change : CHANGES) {
        fs::remove_all(root);
        makeFolder(root);
        makeCollection();
        ASSERT_EQ(runSorvil(tree, {}).status, 0);
        std::set<std::string> born;
        for (const auto& entry : fs::directory_iterator(at("music"))) born.insert(birthOf(entry.path()));
        if (born.count("")) GTEST_SKIP() << "this file system keeps no birth times";
        ASSERT_EQ(std::system(("cd '" + root + "' && " + change.commands).c_str()), 0) << change.what;
        const RunResult again = runSorvil(tree, {});
        std::string firstList;
        const RunResult first = firstRun(firstList);
        EXPECT_EQ(again.status, 0) << change.what;
        std::string expected = START_EXISTING + first.output.substr(START_CREATING.size());
        if (change.unrecorded) expected.insert(expected.find("\n\n") + 1, unrecordedNote(change.unrecorded));
        EXPECT_EQ(again.output, expected) << change.what;
        EXPECT_EQ(readFile(at("songlist.ini")), firstList) << change.what;
        std::set<std::string> copies;
        int written = 0;
        for (const auto& entry : fs::directory_iterator(at("music")))
            if (entry.path().filename() != ".sorvil-copies") {
                copies.insert(entry.path().filename());
                written += !born.count(birthOf(entry.path()));
            }
        EXPECT_EQ(copies, listedCopiesHoldingTheirSongs(root, change.what)) << change.what << ": stale copies";
        EXPECT_EQ(written, change.written) << change.what;
    }
}

// The closing line of each run in turn over one collection: its numbers are
// what the run did, a failure included.
const struct {
    const char* what;
    const char* commands;
    std::vector<std::string> arguments;
    int status;
    const char* note;
} RUNS[] = {
    {"a first copy", "true", {}, 0, "NOTE: 6 songs listed: 6 copied, 0 kept (0 moved), 0 removed, 0 failed"},
    {"an unchanged re-run", "true", {}, 0, "NOTE: 6 songs listed: 0 copied, 6 kept (0 moved), 0 removed, 0 failed"},
    {"an insert", "mkdir A && cp .spare/n.mp3 A/new.mp3", {}, 0,
     "NOTE: 7 songs listed: 1 copied, 6 kept (6 moved), 0 removed, 0 failed"},
    {"a removal", "rm -r C", {}, 0, "NOTE: 4 songs listed: 0 copied, 4 kept (1 moved), 3 removed, 0 failed"},
    {"a song that cannot be copied", "mkfifo B/3.mp3", {}, 1,
     "NOTE: 4 songs listed: 0 copied, 4 kept (1 moved), 0 removed, 1 failed"},
    {"nocopy", "true", {"nocopy"}, 0, "NOTE: 5 songs listed, 0 failed"},
    {"a list that cannot be written", "mkdir .songlist.ini.partial", {}, 1,
     "NOTE: no list written: 0 copied, 0 kept (0 moved), 0 removed, 1 failed"},
};

TEST_F(ReRun, ClosingNoteSaysWhatTheRunDid) {
    makeCollection();
    for (const auto& step : RUNS) {
        ASSERT_EQ(std::system(("cd '" + root + "' && " + step.commands).c_str()), 0) << step.what;
        const RunResult run = runSorvil(tree, step.arguments);
        EXPECT_EQ(run.status, step.status) << step.what;
        EXPECT_EQ(run.closingNote, step.note) << step.what;
    }
}

}  // namespace
}  // namespace sorvil
