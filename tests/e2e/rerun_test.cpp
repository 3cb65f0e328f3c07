// Re-runs of sorvil after each change a collection meets: which copies are
// written again (the temporary files the run creates for them, as strace
// shows), which go, and that every listed copy holds its song; on the local
// file system and with the whole collection on a card's file system, which
// is unmounted and mounted again between the runs (its inode numbers then
// change). Every song has the same modification time, and the swapped songs
// the same size too, so sizes and times alone could not tell them apart.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/card_image.h"
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
// change time, so where the file system vouches for identity the swapped
// songs are copied anew; on a card they are told by their bytes, and their
// copies trade numbers, but for fusefat, whose rename stamps the file's
// modification time.
const std::string SAME_TIME = "touch -d @1600000000 ";
const struct {
    const char* what;
    std::string commands;
    int written, writtenOnACard, writtenOnFat32;  // copies the re-run writes
    int unrecorded = 0;  // files in "music" it writes over that no record names
} CHANGES[] = {
    {"nothing", "true", 0, 0, 0},
    {"a first artist", "mkdir A && cp .spare/n.mp3 A/new.mp3", 1, 1, 1},
    {"an artist removed from the middle", "rm -r C", 0, 0, 0},
    {"an artist renamed", "mv C '0 C'", 0, 0, 0},
    {"an artist renamed in letter case only", "mv C t && mv t c", 0, 0, 0},
    {"two artists trading names: their copies trade numbers", "mv B t && mv D B && mv t D", 0, 0, 0},
    {"two songs of one size and time swapped", "mv C/a.mp3 t && mv C/b.mp3 C/a.mp3 && mv t C/b.mp3", 2, 0, 2},
    {"a song edited keeping size and time",
     "dd if=.spare/e.mp3 of=C/a.mp3 conv=notrunc status=none && " + SAME_TIME + "C/a.mp3", 1, 1, 1},
    {"a tag edited in place keeping size and time",
     "printf 'TAG' | dd of=C/c.mp3 bs=1 seek=$(($(stat -c %s C/c.mp3) - 128)) conv=notrunc status=none && " +
         SAME_TIME + "C/c.mp3", 1, 1, 1},
    {"a copy replaced by the user", "cp .spare/e.mp3 m && " + SAME_TIME + "m && mv m music/song0002.mp3", 1, 1, 1},
    {"two copies of one size and time swapped by the user",
     "cd music && mv song0002.mp3 t && mv song0003.mp3 song0002.mp3 && mv t song0003.mp3", 2, 2, 2},
    {"a hand-edited list", "printf 'B|2|song0001.mp3|9\\r\\n' >songlist.ini", 0, 0, 0},
    {"a missing list", "rm songlist.ini", 0, 0, 0},
    {"a missing record of the copies", "rm music/.sorvil-copies", 6, 6, 6, 6},
    {"a nocopy run in between", std::string(SORVIL_BINARY_DIR) + "/sorvil nocopy >/dev/null", 0, 0, 0},
};

bool has(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null").c_str()) == 0; }

class ReRun : public CollectionTest {
protected:
    std::string home = root;  // where the collection lies
    TempDir logs;
    std::string in(const std::string& relative) const { return home + "/" + relative; }

    void makeCollection() {
        for (const auto& entry : fs::directory_iterator(home)) fs::remove_all(entry.path());
        for (const char* folder : {"B", "C", "D", ".spare"}) makeFolder(in(folder));
        const std::string songs[][2] = {{"B/1", readFile(SMALL_SONG)}, {"B/2", readFile(BIG_SONG)},
                                        {"C/a", variant(BIG_SONG, 'a')}, {"C/b", variant(BIG_SONG, 'b')},
                                        {"C/c", variant(SMALL_SONG, 'c')}, {"D/x", readFile(SMALL_SONG)},
                                        {".spare/n", variant(SMALL_SONG, 'n')}, {".spare/e", variant(BIG_SONG, 'e')}};
        for (const auto& [name, bytes] : songs) writeFile(in(name + ".mp3"), bytes);
        ASSERT_EQ(shell(SAME_TIME + "*/*.mp3"), 0);
    }

    int shell(const std::string& commands) const { return std::system(("cd '" + home + "' && " + commands).c_str()); }

    // A run in the collection, the copies it wrote (the temporary files it
    // created for them) and how often it opened songs to read them.
    RunResult tracedRun(int& written, int& songsRead) {
        const std::string log = logs.file("calls");
        const RunResult run = runSorvil(tree, home, {}, RunOptions{.wrapper = {"strace", "-f", "-qq", "-o", log, "-e",
                                                                              "trace=openat"}});
        const std::string calls = readFile(log);
        auto count = [&](const std::regex& call) {
            return int(std::distance(std::sregex_iterator(calls.begin(), calls.end(), call), std::sregex_iterator()));
        };
        written = count(std::regex(R"(\.song[0-9]{4}\.mp3\.partial", O_WRONLY\|O_CREAT)"));
        songsRead = count(std::regex(R"(["/](?!song)[a-z0-9]+\.mp3", O_RDONLY\|O_NONBLOCK)"));
        return run;
    }

    // The console and list of a first run over the same songs.
    RunResult firstRun(std::string& list) {
        TempDir fresh;
        for (const auto& entry : fs::directory_iterator(home))
            if (entry.is_directory() && entry.path().filename() != "music")
                fs::copy(entry.path(), fresh.file(entry.path().filename()), fs::copy_options::recursive);
        RunResult run = runSorvil(fresh, {});
        list = readFile(fresh.file("songlist.ini"));
        return run;
    }

    // Every change after a first run, the card (if any) taken out and put
    // back before and after the change.
    void reRunAfterEachChange(CardImage* card, bool fat32 = false) {
        if (!has("strace")) GTEST_SKIP() << "strace is missing";
        for (const auto& change : CHANGES) {
            makeCollection();
            ASSERT_EQ(runSorvil(tree, home, {}).status, 0);
            ASSERT_TRUE(!card || card->remount()) << change.what;
            ASSERT_EQ(shell(change.commands), 0) << change.what;
            ASSERT_TRUE(!card || card->remount()) << change.what;
            int written = 0, songsRead = 0;
            const RunResult again = tracedRun(written, songsRead);
            std::string firstList;
            const RunResult first = firstRun(firstList);
            EXPECT_EQ(again.status, 0) << change.what;
            std::string expected = START_EXISTING + first.output.substr(START_CREATING.size());
            if (change.unrecorded) expected.insert(expected.find("\n\n") + 1, unrecordedNote(change.unrecorded));
            EXPECT_EQ(again.output, expected) << change.what;
            EXPECT_EQ(readFile(in("songlist.ini")), firstList) << change.what;
            std::set<std::string> copies;
            for (const auto& entry : fs::directory_iterator(in("music")))
                if (entry.path().filename() != ".sorvil-copies") copies.insert(entry.path().filename());
            EXPECT_EQ(copies, listedCopiesHoldingTheirSongs(home, change.what)) << change.what << ": stale copies";
            EXPECT_EQ(written, fat32 ? change.writtenOnFat32 : card ? change.writtenOnACard : change.written)
                << change.what;
            // Where each opening of a file costs (a FUSE driver's), a song is
            // opened once to be told and measured, and once more to be copied.
            const int songs = int(std::count(firstList.begin(), firstList.end(), '\n'));
            if (card) {
                EXPECT_EQ(songsRead, songs + written) << change.what << ": songs opened to be read";
            }
        }
    }
};

TEST_F(ReRun, WritesOnlyNewOrChangedSongsMovesTheRestAndRemovesStaleCopies) { reRunAfterEachChange(nullptr); }

class ReRunOnACard : public ReRun, public ::testing::WithParamInterface<CardFileSystem> {
protected:
    void SetUp() override {
        home = at("card");
        const std::string unusable = card.make();
        if (!unusable.empty()) GTEST_SKIP() << unusable;
    }
    CardImage card{GetParam(), tree.file("card.img"), tree.file("card")};
};

TEST_P(ReRunOnACard, WritesOnlyNewOrChangedSongsAcrossARemount) {
    reRunAfterEachChange(&card, GetParam() == CardFileSystem::Fat32);
}

INSTANTIATE_TEST_SUITE_P(Cards, ReRunOnACard,
                         ::testing::Values(CardFileSystem::Fat32, CardFileSystem::Exfat, CardFileSystem::Ntfs),
                         [](const ::testing::TestParamInfo<CardFileSystem>& kind) {
                             return std::string(cardFileSystemName(kind.param));
                         });

// A song edited twice in one second, the same size each time, with a run
// between the edits: where times are whole seconds the second edit leaves
// inode, size and times as they were, so only the rule that a change not
// strictly older than its record proves nothing makes the next run copy it.
TEST(ReRunRacy, ASongEditedTwiceInTheSecondOfItsCopyIsCopiedAgain) {
    TempDir tree;
    CardImage disk(CardFileSystem::Ext4WholeSeconds, tree.file("disk.img"), tree.file("disk"));
    const std::string unusable = disk.make();
    if (!unusable.empty()) GTEST_SKIP() << unusable;
    const std::string home = tree.file("disk"), song = home + "/A/x.mp3";
    makeFolder(home + "/A");
    for (int attempt = 0; attempt < 5; ++attempt) {
        struct timespec now {};
        do clock_gettime(CLOCK_REALTIME, &now);  // a second's start, so both edits fit in it
        while (now.tv_nsec > 50000000);
        writeFile(song, variant(BIG_SONG, '1'));
        struct stat first {}, second {};
        stat(song.c_str(), &first);
        ASSERT_EQ(runSorvil(tree, home, {}).status, 0);
        std::ofstream(song, std::ios::binary | std::ios::in) << variant(BIG_SONG, '2');
        stat(song.c_str(), &second);
        if (second.st_ctime != first.st_ctime) continue;  // the second ran out: no race to test
        ASSERT_EQ(runSorvil(tree, home, {}).status, 0);
        EXPECT_EQ(listedCopiesHoldingTheirSongs(home, "the second edit").size(), 1u);
        return;
    }
    GTEST_SKIP() << "no run fitted in the second of its song's edit";
}

// A run after a new first artist (every copy moves) that cannot change the
// music folder: the list keeps every earlier record, as its copies are
// untouched, and still tells the truth.
TEST_F(ReRun, AFailedRunKeepsTheTrueRecordsOfTheEarlierList) {
    const struct {
        const char* what;
        std::string commands;
        bool asOrdinaryUser;
    } FAILURES[] = {
        {"a read-only music folder", "chmod 555 music", true},
        {"a record that cannot be written", "mkdir -p music/..sorvil-copies.partial/x", false},
    };
    for (const auto& failure : FAILURES) {
        makeCollection();
        ASSERT_EQ(runSorvil(tree, home, {}).status, 0);
        const std::string earlier = readFile(in("songlist.ini"));
        ASSERT_EQ(shell("mkdir A && cp .spare/n.mp3 A/new.mp3 && " + failure.commands), 0);
        const RunResult run = runSorvil(tree, home, {}, RunOptions{.asOrdinaryUser = failure.asOrdinaryUser});
        shell("chmod 755 music && rm -rf music/..sorvil-copies.partial");
        EXPECT_EQ(run.status, 1) << failure.what;
        EXPECT_EQ(readFile(in("songlist.ini")), earlier) << failure.what;
        EXPECT_EQ(listedCopiesHoldingTheirSongs(home, failure.what).size(), 6u) << failure.what;
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
