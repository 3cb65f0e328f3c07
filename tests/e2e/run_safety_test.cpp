// The list never lies whatever the run meets: a start folder it may not
// write, a second run at the same time, a reader that closes standard output,
// a card's FAT file system mounted through FUSE.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/collection_test.h"
#include "support/listed_copies.h"
#include "support/program_run.h"

namespace sorvil {
namespace {

using namespace test;

const std::string SONG = samplesFolder() + "/Aurora Lane/Track #2.mp3";

class RunSafety : public CollectionTest {
protected:
    void addArtist(const std::string& artist, int songs) {
        makeFolder(at(artist));
        for (int i = 0; i < songs; ++i) copyInto(SONG, at(artist + "/" + std::to_string(i) + ".mp3"));
    }
    bool has(const char* program) { return std::system((std::string("command -v ") + program + " >/dev/null").c_str()) == 0; }
};

// The list cannot be replaced: found out before any copy moves.
TEST_F(RunSafety, ReadOnlyStartFolderChangesNoCopy) {
    addArtist("B", 2);
    RunResult run = runSorvil(tree, {}, RunOptions{true, 0});
    if (run.status == CANNOT_START) GTEST_SKIP() << "the ordinary user cannot start the built program here";
    const std::string list = readFile(at("songlist.ini"));
    addArtist("A", 1);
    const auto music = treeFingerprint(at("music"));
    ASSERT_EQ(chmod(root.c_str(), 0555), 0);
    run = runSorvil(tree, {}, RunOptions{true, 0});
    chmod(root.c_str(), 0755);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "Starting Sorvil...\nMUSIC directory exists\nERROR: Cannot write songlist.ini: Permission denied\n");
    EXPECT_EQ(readFile(at("songlist.ini")), list);
    EXPECT_EQ(treeFingerprint(at("music")), music);
}

// Both started at once, again and again until they overlap: the later one
// stops at once, and neither leaves a list that lies.
TEST_F(RunSafety, SecondRunAtTheSameTimeIsRefused) {
    addArtist("A", 40);
    const std::vector<std::string> both = {"bash", "-c", "\"$@\" >first 2>&1 & \"$@\" >second 2>&1; s=$?; wait $!; "
                                           "echo $? $s; cat first second", "both"};
    int overlaps = 0;
    for (int trial = 0; trial < 60 && overlaps < 3; ++trial) {
        std::filesystem::remove_all(at("music"));
        const RunResult run = runProgram("sorvil", tree, root, {}, RunOptions{.wrapper = both});
        const bool refused = run.output.find("sorvil: another run of sorvil is working in '.'") != std::string::npos;
        EXPECT_TRUE(run.output.compare(0, 4, refused ? "0 1\n" : "0 0\n") == 0 ||
                    run.output.compare(0, 4, refused ? "1 0\n" : "0 0\n") == 0) << run.output.substr(0, 200);
        listedCopiesHoldingTheirSongs(root, "trial " + std::to_string(trial));
        overlaps += refused;
    }
    if (overlaps == 0) GTEST_SKIP() << "the two runs never overlapped in 60 trials";
}

// `sorvil | head -1` with the reader gone before the first line: the run
// finishes its copies and its list, says the failure once, exit 1.
TEST_F(RunSafety, ClosedStandardOutputNeitherKillsNorStopsTheRun) {
    addArtist("A", 30);
    const std::vector<std::string> closed = {"python3", "-c", "import os, subprocess, sys\nr, w = os.pipe()\n"
                                             "os.close(r)\nsys.exit(subprocess.call(sys.argv[1:], stdout=w))"};
    const RunResult run = runProgram("sorvil", tree, root, {}, RunOptions{.wrapper = closed});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "sorvil: cannot write to standard output: Broken pipe\n");
    EXPECT_EQ(listedCopiesHoldingTheirSongs(root, "closed output").size(), 30u);
}

// A re-run over an unchanged collection writes no copy on a card's FAT,
// which keeps times to two seconds and makes up its inode numbers, also
// after the card was unmounted and mounted again.
TEST_F(RunSafety, FatCardReRunWritesNothing) {
    if (!has("mkfs.vfat") || !has("fusefat") || !has("fusermount") || !has("strace") || access("/dev/fuse", W_OK) != 0)
        GTEST_SKIP() << "mkfs.vfat, fusefat, fusermount, strace or /dev/fuse is missing";
    addArtist("A", 3);
    addArtist("B", 2);
    makeFolder(at("music"));
    const std::string image = tree.file("card.img"), mount = "fusefat -o rw+ " + image + " " + at("music") + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(("truncate -s 40M " + image + " && mkfs.vfat -F 32 " + image + " >/dev/null").c_str()), 0);
    if (std::system(mount.c_str()) != 0) GTEST_SKIP() << "FUSE cannot mount here";
    sleep(2);  // a song changed in its record's clock tick (FAT's: 2 s) is copied again
    const RunResult first = runSorvil(tree, {});
    const std::string unmount = "fusermount -u " + at("music");
    ASSERT_EQ(std::system((unmount + " && " + mount).c_str()), 0);
    const std::string log = tree.file("calls");
    const RunResult again = runSorvil(tree, {}, RunOptions{.wrapper = {"strace", "-f", "-qq", "-o", log, "-e",
                                                                       "trace=renameat,unlinkat"}});
    const std::string calls = readFile(log);
    listedCopiesHoldingTheirSongs(root, "FAT");
    std::system(unmount.c_str());
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.output, first.output);
    EXPECT_EQ(calls.find(".mp3"), std::string::npos) << "a copy was written, moved or removed:\n" << calls;
}

}  // namespace
}  // namespace sorvil
