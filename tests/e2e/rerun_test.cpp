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

#include <cstdio>
#include <filesystem>
#include <functional>
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

void setSameTime(const std::string& path) {
    const struct timespec time[2] = {{1600000000, 0}, {1600000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), time, 0), 0) << path;
}

struct Change {
    const char* what;
    std::function<void(const TempDir& tree, const std::string& root)> apply;
    int written;  // copies written by the re-run
};

void moveFile(const std::string& from, const std::string& to) { ASSERT_EQ(std::rename(from.c_str(), to.c_str()), 0); }

const std::vector<Change> CHANGES = {
    {"nothing", [](const TempDir&, const std::string&) {}, 0},
    {"a first artist", [](const TempDir&, const std::string& r) {
         makeFolder(r + "/A");
         writeFile(r + "/A/new.mp3", variant(SMALL_SONG, 'n'));
     }, 1},
    {"an artist removed from the middle", [](const TempDir&, const std::string& r) { fs::remove_all(r + "/C"); }, 0},
    {"an artist renamed", [](const TempDir&, const std::string& r) { moveFile(r + "/C", r + "/0 C"); }, 0},
    // A rename changes the renamed file's change time: both are copied anew.
    {"two songs of one size and time swapped", [](const TempDir&, const std::string& r) {
         moveFile(r + "/C/a.mp3", r + "/C/t");
         moveFile(r + "/C/b.mp3", r + "/C/a.mp3");
         moveFile(r + "/C/t", r + "/C/b.mp3");
     }, 2},
    {"a song edited keeping size and time", [](const TempDir&, const std::string& r) {
         writeFile(r + "/C/a.mp3", variant(BIG_SONG, 'e'));
         setSameTime(r + "/C/a.mp3");
     }, 1},
    {"a copy replaced by the user", [](const TempDir&, const std::string& r) {
         writeFile(r + "/music/new", variant(BIG_SONG, 'u'));
         setSameTime(r + "/music/new");
         moveFile(r + "/music/new", r + "/music/song0002.mp3");
     }, 1},
    {"a hand-edited list", [](const TempDir&, const std::string& r) { writeFile(r + "/songlist.ini", "B|2|song0001.mp3|9\r\n"); }, 0},
    {"a missing list", [](const TempDir&, const std::string& r) { fs::remove(r + "/songlist.ini"); }, 0},
    {"a missing record of the copies", [](const TempDir&, const std::string& r) { fs::remove(r + "/music/.sorvil-copies"); }, 6},
    {"a nocopy run in between", [](const TempDir& t, const std::string& r) {
         ASSERT_EQ(runSorvil(t, r, {"nocopy"}).status, 0);
     }, 0},
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
        for (const char* artist : {"B", "C", "D"}) makeFolder(at(artist));
        copyInto(SMALL_SONG, at("B/1.mp3"));
        copyInto(BIG_SONG, at("B/2.mp3"));
        writeFile(at("C/a.mp3"), variant(BIG_SONG, 'a'));
        writeFile(at("C/b.mp3"), variant(BIG_SONG, 'b'));
        writeFile(at("C/c.mp3"), variant(SMALL_SONG, 'c'));
        copyInto(SMALL_SONG, at("D/x.mp3"));
        for (const char* song : {"B/1.mp3", "B/2.mp3", "C/a.mp3", "C/b.mp3", "C/c.mp3", "D/x.mp3"}) setSameTime(at(song));
    }

    // What a first run over the same songs gives: its console and its list.
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
    for (const Change& change : CHANGES) {
        fs::remove_all(root);
        makeFolder(root);
        makeCollection();
        ASSERT_EQ(runSorvil(tree, {}).status, 0);
        std::set<std::string> born;
        for (const auto& entry : fs::directory_iterator(at("music"))) born.insert(birthOf(entry.path()));
        if (born.count("")) GTEST_SKIP() << "this file system keeps no birth times";
        change.apply(tree, root);
        const RunResult again = runSorvil(tree, {});
        std::string firstList;
        const RunResult first = firstRun(firstList);
        EXPECT_EQ(again.status, 0) << change.what;
        EXPECT_EQ(again.output, START_EXISTING + first.output.substr(START_CREATING.size())) << change.what;
        EXPECT_EQ(readFile(at("songlist.ini")), firstList) << change.what;
        std::set<std::string> present;
        int written = 0;
        for (const auto& entry : fs::directory_iterator(at("music"))) {
            present.insert(entry.path().filename());
            written += !born.count(birthOf(entry.path())) && entry.path().filename() != ".sorvil-copies";
        }
        present.erase(".sorvil-copies");
        EXPECT_EQ(present, listedCopiesHoldingTheirSongs(root, change.what)) << change.what << ": copies the list does not name";
        EXPECT_EQ(written, change.written) << change.what;
    }
}

}  // namespace
}  // namespace sorvil
