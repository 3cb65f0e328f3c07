// The built sorvil program over hostile collections in real folder trees:
// links to folders, linked artist folders, artist folders that cannot be
// entered, unreadable songs, songs that vanish before their turn, pipes and
// devices named like songs, copy targets that are links, names holding '|' or
// line ends or bytes that are not UTF-8, a song list that cannot be written,
// giant sparse files, an earlier list of hundreds of megabytes, a list whose
// folder cannot be flushed, thousands of songs in one artist, a full or
// read-only "music" folder, its peak memory over several larger songs, a
// tree thousands of folders deep, files of the user's under names like the
// run's own in "music".
//
// Songs used (durations as the run test explains them):
//   samples/Aurora Lane/Track #2.mp3   9313 bytes, 3 s
//   samples/Cobalt Sky/Song.MP3        2160 bytes, 1 s
//   encoded/l3_mpeg1_44100_joint_128k.mp3  24659 bytes, 59 frames of 417 (+ padding) bytes, 26 ms each
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/collection_test.h"
#include "support/listed_copies.h"
#include "support/program_run.h"

namespace sorvil {
namespace {

namespace fs = std::filesystem;
using namespace test;

const std::string BIG_SONG = samplesFolder() + "/Aurora Lane/Track #2.mp3";  // 9313 bytes, 3 s
const std::string SMALL_SONG = samplesFolder() + "/Cobalt Sky/Song.MP3";     // 2160 bytes, 1 s
const std::string L3_44100 = "encoded/l3_mpeg1_44100_joint_128k.mp3";

// A file of `size` bytes that takes no room on disk: a hole throughout.
void makeSparseFile(const std::string& path, off_t size) {
    int handle = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(ftruncate(handle, size), 0);
    close(handle);
}

// Every entry but the run's record of its copies.
std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename() != ".sorvil-copies") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every line of a song list ends with CR LF and has exactly four fields.
void expectFourFieldsPerLine(const std::string& list) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "a line without its end: " << list.substr(start);
        std::string line = list.substr(start, end - start);
        EXPECT_EQ(std::count(line.begin(), line.end(), '|'), 3) << line;
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        start = end + 2;
    }
}

const std::string ONE_ARTIST_A = "  A\n1 artist(s) found.\n\nProcessing songs for A...\n";
// The same over files in "music" that no record names.
std::string oneArtistAOver(int unrecorded) {
    return "  A\n1 artist(s) found.\n" + unrecordedNote(unrecorded) + "\nProcessing songs for A...\n";
}

class HostileCollection : public CollectionTest {};

// The enumeration follows links: a link to a folder is a folder, not a song
// (an album of the first artist that reaches it, listed once), and a
// dangling link is no entry at all.
TEST_F(HostileCollection, LinksToFoldersAndDanglingLinksAreNotSongs) {
    makeFolder(at("A"));
    makeFolder(at("Elsewhere/inner"));
    copyInto(SMALL_SONG, at("Elsewhere/inner/hidden away.mp3"));
    ASSERT_EQ(symlink("../Elsewhere/inner", at("A/folder link.mp3").c_str()), 0);
    ASSERT_EQ(symlink("nowhere.mp3", at("A/dangling.mp3").c_str()), 0);
    copyInto(SMALL_SONG, at("A/real.mp3"));
    RunResult run = runSorvil(tree, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, START_CREATING + "  A\n  Elsewhere\n2 artist(s) found.\n\nProcessing songs for A...\n"
                                           "  real: 00:01\n  folder link.mp3/hidden away: 00:01\n"
                                           "\nProcessing songs for Elsewhere...\n");
    EXPECT_EQ(readFile(at("songlist.ini")), "A|real|song0000.mp3|1\r\nA|hidden away|song0001.mp3|1\r\n");
    EXPECT_EQ(folderEntries(at("music")).size(), 2u);
}

// A song the user may not read: its copy fails before any target exists, its
// load fails, it is left out of the list, the songs after it are handled as
// usual, and the status says that a song is missing.
TEST_F(HostileCollection, UnreadableSongIsReportedWithoutACopyAndTheRunGoesOn) {
    makeFolder(at("A"));
    copyInto(BIG_SONG, at("A/1 locked.mp3"));
    copyInto(SMALL_SONG, at("A/2 open.mp3"));
    chmod(at("A/1 locked.mp3").c_str(), 0);
    RunResult copied = runSorvil(tree, {}, RunOptions{true, 0});
    if (copied.status == CANNOT_START) GTEST_SKIP() << "the ordinary user cannot start the built program here";
    EXPECT_EQ(copied.status, 1);
    EXPECT_EQ(copied.output, START_CREATING + ONE_ARTIST_A +
                                 "  1 locked: ERROR: Cannot copy MP3 file to ../music/song0000.mp3: Permission denied"
                                 "\nERROR: Cannot load MP3 file A/1 locked.mp3: Permission denied\n00:00\n"
                                 "  2 open: 00:01\n");
    EXPECT_EQ(readFile(at("songlist.ini")), "A|2 open|song0001.mp3|1\r\n");
    EXPECT_EQ(folderEntries(at("music")), std::vector<std::string>{"song0001.mp3"});
    EXPECT_EQ(readFile(at("music/song0001.mp3")), readFile(SMALL_SONG));

    RunResult kept = runSorvil(tree, {"nocopy"}, RunOptions{true, 0});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.output, START_NO_COPY + ONE_ARTIST_A +
                               "  1 locked: ERROR: Cannot load MP3 file A/1 locked.mp3: Permission denied\n00:00\n"
                               "  2 open: 00:01\n");
    EXPECT_EQ(readFile(at("songlist.ini")), "A|1 locked|1 locked.mp3|0\r\nA|2 open|2 open.mp3|1\r\n");
}

// A song that exists when the artist's folder is read and is gone when its
// turn comes. "2 gone.mp3" is a link to an earlier run's copy in "music"; the
// first song's copy goes to that same name, fails on the full disk, and the
// earlier file under that name (another song than the one listed there) goes
// with its partial copy.
TEST_F(HostileCollection, SongThatVanishesBeforeItsTurnIsReportedAndTheRunGoesOn) {
    makeFolder(at("music"));
    copyInto(SMALL_SONG, at("music/song0000.mp3"));
    makeFolder(at("A"));
    copyInto(BIG_SONG, at("A/1 first.mp3"));
    ASSERT_EQ(symlink("../music/song0000.mp3", at("A/2 gone.mp3").c_str()), 0);
    copyInto(SMALL_SONG, at("A/3 last.mp3"));
    RunResult run = runSorvil(tree, {}, RunOptions{false, 4096});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, START_EXISTING + oneArtistAOver(1) +
                              "  1 first: ERROR: Cannot copy MP3 file to ../music/song0000.mp3: File too large\n00:03\n"
                              "  2 gone: ERROR: Cannot copy MP3 file to ../music/song0001.mp3: No such file or directory"
                              "\nERROR: Cannot load MP3 file A/2 gone.mp3: No such file or directory\n00:00\n"
                              "  3 last: 00:01\n");
    EXPECT_EQ(readFile(at("songlist.ini")), "A|3 last|song0002.mp3|1\r\n");
    EXPECT_EQ(folderEntries(at("music")), std::vector<std::string>{"song0002.mp3"});
    EXPECT_EQ(readFile(at("A/1 first.mp3")), readFile(BIG_SONG));
}

// A pipe named like a song would block the copy's open until some writer came,
// and a link to a device of endless zeros would copy until the disk is full:
// neither is a song, neither is copied, and both fail to load. They hold no
// audio, which is no failure of the run, but their copies failed. The listing
// examined them; nothing opens them (a writer waiting on the pipe would be
// let go, then killed when nobody reads).
TEST_F(HostileCollection, PipesAndDevicesNamedLikeSongsAreNeitherCopiedNorWaitedFor) {
    makeFolder(at("A"));
    ASSERT_EQ(mkfifo(at("A/1 pipe.mp3").c_str(), 0644), 0);
    ASSERT_EQ(symlink("/dev/zero", at("A/2 zeros.mp3").c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", at("A/3 nothing.mp3").c_str()), 0);
    copyInto(SMALL_SONG, at("A/4 real.mp3"));
    const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(opens, at("A/1 pipe.mp3").c_str(), IN_OPEN), 0);
    // Should the copy of the zeros start, the disk is full at 1 MiB.
    RunResult run = runSorvil(tree, {}, RunOptions{false, 1 << 20});
    char event[4096];
    EXPECT_LT(read(opens, event, sizeof event), 0) << "the pipe was opened";
    close(opens);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, START_CREATING + ONE_ARTIST_A +
                              "  1 pipe: ERROR: Cannot copy MP3 file to ../music/song0000.mp3: Invalid argument"
                              "\nERROR: Cannot load MP3 file A/1 pipe.mp3\n00:00\n"
                              "  2 zeros: ERROR: Cannot copy MP3 file to ../music/song0001.mp3: Invalid argument"
                              "\nERROR: Cannot load MP3 file A/2 zeros.mp3\n00:00\n"
                              "  3 nothing: ERROR: Cannot copy MP3 file to ../music/song0002.mp3: Invalid argument"
                              "\nERROR: Cannot load MP3 file A/3 nothing.mp3\n00:00\n"
                              "  4 real: 00:01\n");
    EXPECT_EQ(folderEntries(at("music")), std::vector<std::string>{"song0003.mp3"});
}

// A song without a frame-count header is walked to its end. Sparse on tmpfs
// (its frames, then a hole to 200 MiB), reading the hole must not fill the
// file system with pages of zeros.
TEST_F(HostileCollection, WalkingASparseSongFillsNoTmpfs) {
    makeFolder(at("A"));
    if (mount("none", at("A").c_str(), "tmpfs", 0, "size=300m") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    struct Unmount {
        std::string folder;
        ~Unmount() { umount(folder.c_str()); }
    } unmount{at("A")};
    const auto usedBytes = [this] {
        struct statvfs info {};
        return statvfs(at("A").c_str(), &info) == 0 ? uint64_t(info.f_blocks - info.f_bfree) * info.f_frsize : 0;
    };
    writeFile(at("A/sparse.mp3"), readFile(testData(L3_44100)));
    ASSERT_EQ(truncate(at("A/sparse.mp3").c_str(), off_t(200) << 20), 0);
    const uint64_t before = usedBytes();
    RunResult run = runSorvil(tree, {"nocopy"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, START_NO_COPY + ONE_ARTIST_A + "  sparse: 217:55\n");
    EXPECT_LT(usedBytes(), before + (1 << 20));
}

// Copy targets left by an earlier run as links to the songs themselves (a hard
// link, as a linking copy makes, and a symbolic one): writing the copy would
// first empty the song. The copy is already there, so the songs are kept.
TEST_F(HostileCollection, CopyTargetsThatAreTheSongsThemselvesKeepTheSongs) {
    makeFolder(at("A"));
    makeFolder(at("music"));
    copyInto(BIG_SONG, at("A/1 hard.mp3"));
    copyInto(SMALL_SONG, at("A/2 soft.mp3"));
    ASSERT_EQ(link(at("A/1 hard.mp3").c_str(), at("music/song0000.mp3").c_str()), 0);
    ASSERT_EQ(symlink("../A/2 soft.mp3", at("music/song0001.mp3").c_str()), 0);
    RunResult run = runSorvil(tree, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, START_EXISTING + oneArtistAOver(2) + "  1 hard: 00:03\n  2 soft: 00:01\n");
    EXPECT_EQ(readFile(at("songlist.ini")), "A|1 hard|song0000.mp3|3\r\nA|2 soft|song0001.mp3|1\r\n");
    EXPECT_EQ(readFile(at("A/1 hard.mp3")), readFile(BIG_SONG));
    EXPECT_EQ(readFile(at("A/2 soft.mp3")), readFile(SMALL_SONG));
}

// A copy target that is a link to some other file (symbolic or hard, inside
// the collection or outside it) is replaced by the copy; the file it pointed
// at is not overwritten, and a dangling link is no obstacle.
TEST_F(HostileCollection, CopyTargetsThatLinkElsewhereAreReplacedNotWrittenThrough) {
    makeFolder(at("A"));
    makeFolder(at("music"));
    copyInto(BIG_SONG, at("A/1 first.mp3"));
    copyInto(SMALL_SONG, at("A/2 second.mp3"));
    copyInto(SMALL_SONG, at("A/3 third.mp3"));
    writeFile(at("precious.txt"), "not a song");
    ASSERT_EQ(symlink("../precious.txt", at("music/song0000.mp3").c_str()), 0);
    ASSERT_EQ(symlink("../nowhere/at/all", at("music/song0001.mp3").c_str()), 0);
    TempDir outside;
    writeFile(outside.file("precious"), "somebody else's file");
    ASSERT_EQ(link(outside.file("precious").c_str(), at("music/song0002.mp3").c_str()), 0);
    const auto outsideBefore = treeFingerprint(outside.path());
    RunResult run = runSorvil(tree, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              START_EXISTING + oneArtistAOver(3) + "  1 first: 00:03\n  2 second: 00:01\n  3 third: 00:01\n");
    EXPECT_EQ(readFile(at("precious.txt")), "not a song");
    EXPECT_EQ(treeFingerprint(outside.path()), outsideBefore);
    EXPECT_EQ(readFile(at("music/song0002.mp3")), readFile(SMALL_SONG));
    EXPECT_EQ(folderEntries(at("music")).size(), 3u);
    EXPECT_FALSE(fs::is_symlink(at("music/song0000.mp3")));
    EXPECT_FALSE(fs::is_symlink(at("music/song0001.mp3")));
    EXPECT_EQ(readFile(at("music/song0000.mp3")), readFile(BIG_SONG));
    EXPECT_EQ(readFile(at("music/song0001.mp3")), readFile(SMALL_SONG));
}

// Artist folders that are links (to a folder outside the collection, directly
// and through a second link) copy into the starting folder's "music", never
// into a "music" beside the folder linked to; nothing outside changes.
TEST_F(HostileCollection, LinkedArtistFoldersCopyIntoTheStartingFoldersMusic) {
    TempDir outside;
    makeFolder(outside.file("Real"));
    copyInto(BIG_SONG, outside.file("Real/linked.mp3"));
    makeFolder(outside.file("music"));
    writeFile(outside.file("music/song0000.mp3"), "somebody else's file");
    ASSERT_EQ(symlink(outside.file("Real").c_str(), outside.file("Link to Real").c_str()), 0);
    ASSERT_EQ(symlink(outside.file("Real").c_str(), at("A Linked").c_str()), 0);
    ASSERT_EQ(symlink(outside.file("Link to Real").c_str(), at("B Twice").c_str()), 0);
    makeFolder(at("C Plain"));
    copyInto(SMALL_SONG, at("C Plain/plain.mp3"));
    const auto outsideBefore = treeFingerprint(outside.path());
    RunResult run = runSorvil(tree, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, START_CREATING + "  A Linked\n  B Twice\n  C Plain\n3 artist(s) found.\n"
                                           "\nProcessing songs for A Linked...\n  linked: 00:03\n"
                                           "\nProcessing songs for B Twice...\n  linked: 00:03\n"
                                           "\nProcessing songs for C Plain...\n  plain: 00:01\n");
    EXPECT_EQ(readFile(at("songlist.ini")),
              "A Linked|linked|song0000.mp3|3\r\nB Twice|linked|song0001.mp3|3\r\nC Plain|plain|song0002.mp3|1\r\n");
    EXPECT_EQ(readFile(at("music/song0000.mp3")), readFile(BIG_SONG));
    EXPECT_EQ(readFile(at("music/song0001.mp3")), readFile(BIG_SONG));
    EXPECT_EQ(readFile(at("music/song0002.mp3")), readFile(SMALL_SONG));
    EXPECT_EQ(treeFingerprint(outside.path()), outsideBefore);
}

// A music folder that is a link leading out of the collection is refused
// before anything is copied: every file the run writes stays inside the
// folder it was started in. A link to a folder inside it is followed.
TEST_F(HostileCollection, MusicFolderLinkedOutsideTheCollectionIsRefused) {
    TempDir outside;
    makeFolder(outside.file("player"));
    makeFolder(at("A"));
    copyInto(SMALL_SONG, at("A/song.mp3"));
    writeFile(at("songlist.ini"), "previous\r\n");
    ASSERT_EQ(symlink(outside.file("player").c_str(), at("music").c_str()), 0);
    const auto outsideBefore = treeFingerprint(outside.path());
    RunResult run = runSorvil(tree, {});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "Starting Sorvil...\nERROR: \"music\" leads outside this folder; the songs cannot be "
                          "copied into it\n");
    EXPECT_EQ(treeFingerprint(outside.path()), outsideBefore);
    EXPECT_EQ(readFile(at("songlist.ini")), "previous\r\n");

    // Inside the collection, but not where an artist is scanned: followed.
    ASSERT_EQ(unlink(at("music").c_str()), 0);
    makeFolder(at(".player/store"));
    ASSERT_EQ(symlink(".player/store", at("music").c_str()), 0);
    run = runSorvil(tree, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(readFile(at(".player/store/song0000.mp3")), readFile(SMALL_SONG));

    // An artist's folder, or one inside it: the copies would replace that
    // artist's songs and be listed as its songs on the next run.
    for (const char* target : {"A", "A/inner"}) {
        makeFolder(at("A/inner"));
        ASSERT_EQ(unlink(at("music").c_str()), 0);
        ASSERT_EQ(symlink(target, at("music").c_str()), 0);
        copyInto(BIG_SONG, at("A/song0000.mp3"));
        writeFile(at("songlist.ini"), "previous\r\n");
        run = runSorvil(tree, {});
        EXPECT_EQ(run.status, 1) << target;
        EXPECT_NE(run.output.find("ERROR: \"music\" lies inside the artist folder A; the songs cannot be copied "
                                  "into it\n"), std::string::npos) << run.output;
        EXPECT_EQ(readFile(at("A/song0000.mp3")), readFile(BIG_SONG)) << target;
        EXPECT_EQ(readFile(at("songlist.ini")), "previous\r\n") << target;
    }
}

// A music folder that is the folder the run started in, or an artist folder
// that is it or holds it, would list copies as songs or the collection as one
// of its own artists, the list growing on every run: refused, nothing written.
TEST_F(HostileCollection, FoldersThatAreTheCollectionItselfAreRefused) {
    const std::string holds = " is the folder the run started in, or holds it; the collection cannot be one of its "
                              "artists\n";
    const std::vector<std::vector<std::string>> cases = {  // the link, its target, the message, the arguments
        {"music", ".", "ERROR: \"music\" is the folder the run started in; the songs cannot be copied into it\n"},
        {"Zed", ".", "ERROR: The artist folder Zed" + holds},
        {"Zed", ".", "ERROR: The artist folder Zed" + holds, "nocopy"},
        {"Up", "..", "ERROR: The artist folder Up" + holds},
        {"Root", "/", "ERROR: The artist folder Root" + holds, "nocopy"},
    };
    for (const auto& refused : cases) {
        TempDir trial;
        const std::string start = trial.file("start");
        makeFolder(start + "/A");
        copyInto(SMALL_SONG, start + "/A/song.mp3");
        ASSERT_EQ(symlink(refused[1].c_str(), (start + "/" + refused[0]).c_str()), 0);
        const auto before = treeFingerprint(trial.path());
        const RunResult run = runSorvil(trial, start, {refused.begin() + 3, refused.end()});
        EXPECT_EQ(run.status, 1) << refused[0];
        EXPECT_NE(run.output.find(refused[2]), std::string::npos) << run.output;
        EXPECT_EQ(treeFingerprint(trial.path()), before) << refused[0];
    }
}

ino_t inodeOf(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// A re-run keeps the earlier copies that still hold the song listed under
// their names, and copies anew every other: a changed time, a link in the
// copy's place, a number that now belongs to another song of the same size
// and time. When a copy fails, the earlier file under its name goes.
TEST_F(HostileCollection, ReRunKeepsOnlyCopiesThatStillHoldTheirListedSong) {
    makeFolder(at("music"));
    makeFolder(at("B"));
    for (const char* name : {"1.mp3", "2.mp3", "3.mp3", "4.mp3"}) copyInto(SMALL_SONG, at(std::string("B/") + name));
    const struct timespec sameTime[2] = {{1600000000, 0}, {1600000000, 0}};
    for (const char* name : {"B/1.mp3", "B/2.mp3", "B/3.mp3", "B/4.mp3"})
        ASSERT_EQ(utimensat(AT_FDCWD, at(name).c_str(), sameTime, 0), 0);
    const RunResult first = runSorvil(tree, {});
    ASSERT_EQ(first.status, 0);
    const std::string firstList = readFile(at("songlist.ini"));
    std::vector<ino_t> before;
    for (int i = 0; i < 4; ++i) before.push_back(inodeOf(at("music/song000" + std::to_string(i) + ".mp3")));

    RunResult again = runSorvil(tree, {});
    EXPECT_EQ(again.output, first.output);
    EXPECT_EQ(readFile(at("songlist.ini")), firstList);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(inodeOf(at("music/song000" + std::to_string(i) + ".mp3")), before[i]) << i;

    ASSERT_EQ(utimensat(AT_FDCWD, at("B/2.mp3").c_str(), nullptr, 0), 0);  // now
    ASSERT_EQ(link(at("music/song0003.mp3").c_str(), at("elsewhere.mp3").c_str()), 0);
    again = runSorvil(tree, {});
    EXPECT_EQ(inodeOf(at("music/song0000.mp3")), before[0]);
    EXPECT_NE(inodeOf(at("music/song0001.mp3")), before[1]) << "a song whose time changed";
    EXPECT_NE(inodeOf(at("music/song0003.mp3")), before[3]) << "a copy with a second name";

    // "A" sorts first: its song, of the same size and time, takes number 0.
    makeFolder(at("A"));
    copyInto(SMALL_SONG, at("A/0.mp3"));
    ASSERT_EQ(utimensat(AT_FDCWD, at("A/0.mp3").c_str(), sameTime, 0), 0);
    const ino_t zero = inodeOf(at("music/song0000.mp3"));
    again = runSorvil(tree, {});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(inodeOf(at("music/song0000.mp3")), zero) << "another song's copy kept under its new number";
    EXPECT_EQ(readFile(at("songlist.ini")).substr(0, 20), "A|0|song0000.mp3|1\r\n");

    ASSERT_EQ(unlink(at("B/4.mp3").c_str()), 0);
    ASSERT_EQ(mkfifo(at("B/4.mp3").c_str(), 0644), 0);
    again = runSorvil(tree, {});
    EXPECT_EQ(again.status, 1);
    EXPECT_FALSE(exists(at("music/song0004.mp3"))) << "the earlier copy stayed under the failed song's name";
}

// A song named like a copy lies in an artist folder and the user keeps a file
// of that name in "music": the nocopy list names the song, not a copy, so the
// copy run after it leaves the user's file alone.
TEST_F(HostileCollection, NocopyListNeverNamesFilesInMusic) {
    makeFolder(at("A"));
    copyInto(SMALL_SONG, at("A/song0009.mp3"));
    makeFolder(at("music"));
    writeFile(at("music/song0009.mp3"), "the user's own");
    ASSERT_EQ(runSorvil(tree, {"nocopy"}).status, 0);
    EXPECT_EQ(readFile(at("songlist.ini")), "A|song0009|song0009.mp3|1\r\n");
    EXPECT_EQ(runSorvil(tree, {}).status, 0);
    EXPECT_EQ(readFile(at("songlist.ini")), "A|song0009|song0000.mp3|1\r\n");
    EXPECT_EQ(readFile(at("music/song0009.mp3")), "the user's own");
}

// Two artists trade names, so their copies trade numbers through a moving
// name: a file of the user's under that name is left alone, where the file
// system renames without replacing and on a card's FAT through FUSE, which
// cannot.
TEST_F(HostileCollection, UsersFileUnderAMovingNameSurvivesASwap) {
    const bool fuse = access("/dev/fuse", W_OK) == 0 &&
                      std::system("{ command -v mkfs.vfat && command -v fusefat && command -v fusermount; } "
                                  ">/dev/null") == 0;
    for (const bool fat : {false, true}) {
        TempDir trial;
        const auto in = [&](const std::string& name) { return trial.file("c/" + name); };
        for (const char* folder : {"c", "c/B", "c/C", "c/music"}) makeFolder(trial.file(folder));
        copyInto(BIG_SONG, in("B/b.mp3"));
        copyInto(SMALL_SONG, in("C/c.mp3"));
        const std::string mount = "fusefat -o rw+ " + trial.file("card.img") + " " + in("music") + " >/dev/null 2>&1";
        struct Unmount {
            std::string command;
            ~Unmount() { if (!command.empty()) std::system(command.c_str()); }
        } unmount{fat ? "fusermount -u " + in("music") : ""};
        if (fat && (!fuse || std::system(("truncate -s 40M " + trial.file("card.img") + " && mkfs.vfat -F 32 " +
                                          trial.file("card.img") + " >/dev/null && " + mount).c_str()) != 0)) {
            unmount.command.clear();
            GTEST_SKIP() << "no FAT card can be mounted through FUSE here";
        }
        ASSERT_EQ(runSorvil(trial, trial.file("c"), {}).status, 0);
        writeFile(in("music/.song0000.mp3.move"), "the user's own");
        ASSERT_EQ(std::system(("cd " + trial.file("c") + " && mv B t && mv C B && mv t C").c_str()), 0);
        const RunResult swapped = runSorvil(trial, trial.file("c"), {});
        EXPECT_EQ(swapped.status, 0) << swapped.output;
        EXPECT_EQ(readFile(in("songlist.ini")), "B|c|song0000.mp3|1\r\nC|b|song0001.mp3|3\r\n") << fat;
        EXPECT_EQ(listedCopiesHoldingTheirSongs(trial.file("c"), fat ? "FAT" : "ext4").size(), 2u);
        EXPECT_EQ(readFile(in("music/.song0000.mp3.move")), "the user's own") << fat;
    }
}

// A tree far deeper than any album (an archive unpacked wrong) is walked
// without recursion down to the walk's limit, or as far as descriptors last:
// the folder beyond is said and skipped, the rest is listed. On a tmpfs where
// one can be mounted: a disk takes a minute to make and remove such a tree.
TEST_F(HostileCollection, FolderTreeThousandsOfLevelsDeepIsCutWithItsError) {
    makeFolder(at("A"));
    struct Unmount {
        std::string folder;
        ~Unmount() { if (!folder.empty()) umount(folder.c_str()); }
    } unmount{mount("none", at("A").c_str(), "tmpfs", 0, "size=100m") == 0 ? at("A") : ""};
    copyInto(SMALL_SONG, at("A/top.mp3"));
    makeDeepFolders(at("A"), "d", 19000);
    makeFolder(at("B"));
    copyInto(SMALL_SONG, at("B/last.mp3"));
    const RunResult run = runSorvil(tree, {}, RunOptions{false, 0, true});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("\nERROR: Cannot enter folder A/d/d/d/d/"), std::string::npos)
        << run.output.substr(0, 300);
    EXPECT_EQ(readFile(at("songlist.ini")), "A|top|song0000.mp3|1\r\nB|last|song0001.mp3|1\r\n");
    EXPECT_LT(run.peakKilobytes, 64 * 1024);
    removeTree(at("A/d"));
    EXPECT_FALSE(exists(at("A/d"))) << "a tree this deep cannot be removed";
}

// An artist folder the user may not enter, or may enter but not read, is
// reported and skipped; the other artists are handled, the list is written
// for them, and the status says that something was skipped.
TEST_F(HostileCollection, ArtistFoldersThatCannotBeEnteredOrReadAreSkipped) {
    writeFile(at("songlist.ini"), "previous\r\n");
    makeFolder(at("A Open"));
    copyInto(SMALL_SONG, at("A Open/first.mp3"));
    makeFolder(at("B Closed"));
    copyInto(BIG_SONG, at("B Closed/unseen.mp3"));
    chmod(at("B Closed").c_str(), 0);
    makeFolder(at("C Unlisted"));
    copyInto(BIG_SONG, at("C Unlisted/unseen.mp3"));
    chmod(at("C Unlisted").c_str(), 0111);
    makeFolder(at("D Open"));
    copyInto(SMALL_SONG, at("D Open/last.mp3"));
    RunResult run = runSorvil(tree, {}, RunOptions{true, 0});
    if (run.status == CANNOT_START) GTEST_SKIP() << "the ordinary user cannot start the built program here";
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, START_CREATING + "  A Open\n  B Closed\n  C Unlisted\n  D Open\n4 artist(s) found.\n"
                                           "\nProcessing songs for A Open...\n  first: 00:01\n"
                                           "\nProcessing songs for B Closed...\n"
                                           "ERROR: Cannot enter artist folder B Closed: Permission denied\n"
                                           "\nProcessing songs for C Unlisted...\n"
                                           "ERROR: Cannot read artist folder C Unlisted: Permission denied\n"
                                           "\nProcessing songs for D Open...\n  last: 00:01\n");
    EXPECT_EQ(readFile(at("songlist.ini")), "A Open|first|song0000.mp3|1\r\nD Open|last|song0001.mp3|1\r\n");
    EXPECT_EQ(folderEntries(at("music")).size(), 2u);
}

// Names may hold '|', CR and LF; no field of a record may. In copy mode the
// artist and title are display text and show them as '/' and spaces. In
// no-copy mode the fields name the real folder and file, so such a song is
// reported, left out of the list and its file left alone.
TEST_F(HostileCollection, RecordFieldsNeverHoldBarsOrLineEnds) {
    // On the console, control bytes show escaped: a name cannot drive the
    // terminal. C1 controls in UTF-8 show as their two bytes, and a name's own
    // backslash shows doubled, so it cannot pass for an escape.
    const std::string artist = "AC|DC\r\nLive\x1b]0;pwned\a";
    const std::string shownArtist = "AC|DC\\x0D\\x0ALive\\x1B]0;pwned\\x07";
    const std::string evil = "Evil\xc2\x9b" "2J\xc2\x9d" "0;title\xc2\x9c", literal = "Lit\\x1B";
    const std::string shownEvil = "Evil\\xC2\\x9B2J\\xC2\\x9D0;title\\xC2\\x9C", shownLiteral = "Lit\\\\x1B";
    makeFolder(at(artist));
    copyInto(SMALL_SONG, at(artist + "/a.mp3"));
    makeFolder(at("Plain"));
    copyInto(SMALL_SONG, at("Plain/" + evil + ".mp3"));
    copyInto(SMALL_SONG, at("Plain/" + literal + ".mp3"));
    copyInto(SMALL_SONG, at("Plain/line\nbreak.mp3"));
    copyInto(SMALL_SONG, at("Plain/ok.mp3"));
    copyInto(SMALL_SONG, at("Plain/one|two.mp3"));
    const auto before = treeFingerprint(root);
    const std::string refused = " in songlist.ini: a name there cannot hold '|', CR or LF\n";
    const std::string artists = "  " + shownArtist + "\n  Plain\n2 artist(s) found.\n\nProcessing songs for " +
                                shownArtist + "...\n";

    RunResult kept = runSorvil(tree, {"nocopy"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.output, START_NO_COPY + artists + "  a: ERROR: Cannot list " + shownArtist + "/a.mp3" + refused +
                               "\nProcessing songs for Plain...\n  " + shownEvil +
                               ": 00:01\n  line\\x0Abreak: ERROR: Cannot list Plain/line\\x0Abreak.mp3" + refused +
                               "  " + shownLiteral + ": 00:01\n  ok: 00:01\n"
                               "  one|two: ERROR: Cannot list Plain/one|two.mp3" + refused);
    const std::string keptList = readFile(at("songlist.ini"));
    EXPECT_EQ(keptList, "Plain|" + evil + "|" + evil + ".mp3|1\r\nPlain|" + literal + "|" + literal +
                            ".mp3|1\r\nPlain|ok|ok.mp3|1\r\n");
    expectFourFieldsPerLine(keptList);
    auto after = treeFingerprint(root);
    after.erase("songlist.ini");
    EXPECT_EQ(after, before);

    RunResult copied = runSorvil(tree, {});
    EXPECT_EQ(copied.status, 0);
    EXPECT_EQ(copied.output, START_CREATING + artists + "  a: 00:01\n\nProcessing songs for Plain...\n  " +
                                 shownEvil + ": 00:01\n  line\\x0Abreak: 00:01\n  " + shownLiteral +
                                 ": 00:01\n  ok: 00:01\n  one|two: 00:01\n");
    const std::string copiedList = readFile(at("songlist.ini"));
    EXPECT_EQ(copiedList, "AC/DC  Live\x1b]0;pwned\a|a|song0000.mp3|1\r\nPlain|" + evil +
                              "|song0001.mp3|1\r\nPlain|line break|song0002.mp3|1\r\nPlain|" + literal +
                              "|song0003.mp3|1\r\nPlain|ok|song0004.mp3|1\r\nPlain|one/two|song0005.mp3|1\r\n");
    expectFourFieldsPerLine(copiedList);
    EXPECT_EQ(readFile(at("music/song0003.mp3")), readFile(SMALL_SONG));
}

// A name is a string of bytes: Latin-1, invalid and overlong sequences travel
// byte for byte through the console, the copy, the load and songlist.ini, and
// messages show names exactly. UTF-8 names keep their order, letter case
// ignored ("étoile" before "Été"), and Latin-1 names sort among them as the
// letters they are ("Écho" before "étoile").
TEST_F(HostileCollection, NamesThatAreNotUtf8TravelByteForByte) {
    const std::string artist = "Caf\xe9 \x80\xc0\x80";  // Latin-1, a stray continuation byte, an overlong NUL
    const std::string overlong = "a\xc0\x80" "b";
    const std::string latin1 = "\xc9" "cho d'\xe9t\xe9";
    const std::string noAudio = "\xc3\xa9toile \xe2\x99\xab";
    const std::string utf8 = "\xc3\x89t\xc3\xa9";
    makeFolder(at(artist));
    copyInto(SMALL_SONG, at(artist + "/" + overlong + ".mp3"));
    copyInto(BIG_SONG, at(artist + "/" + latin1 + ".mp3"));
    writeFile(at(artist + "/" + noAudio + ".mp3"), "no audio here");
    copyInto(SMALL_SONG, at(artist + "/" + utf8 + ".mp3"));
    // The console escapes C1 bytes that are not part of a UTF-8 character.
    const std::string shownArtist = "Caf\xe9 \\x80\xc0\\x80", shownOverlong = "a\xc0\\x80b";
    const std::string artists =
        "  " + shownArtist + "\n1 artist(s) found.\n\nProcessing songs for " + shownArtist + "...\n";

    RunResult kept = runSorvil(tree, {"nocopy"});
    EXPECT_EQ(kept.status, 0);
    // Both modes name the song's own file.
    const std::string songs = "  " + shownOverlong + ": 00:01\n  " + latin1 + ": 00:03\n  " + noAudio +
                              ": ERROR: Cannot create MP3 " + shownArtist + "/" + noAudio + ".mp3\n00:00\n  " + utf8 +
                              ": 00:01\n";
    EXPECT_EQ(kept.output, START_NO_COPY + artists + songs);
    EXPECT_EQ(readFile(at("songlist.ini")),
              artist + "|" + overlong + "|" + overlong + ".mp3|1\r\n" + artist + "|" + latin1 + "|" + latin1 +
                  ".mp3|3\r\n" + artist + "|" + noAudio + "|" + noAudio + ".mp3|0\r\n" + artist + "|" + utf8 + "|" +
                  utf8 + ".mp3|1\r\n");

    RunResult copied = runSorvil(tree, {});
    EXPECT_EQ(copied.status, 0);
    EXPECT_EQ(copied.output, START_CREATING + artists + songs);
    EXPECT_EQ(readFile(at("songlist.ini")), artist + "|" + overlong + "|song0000.mp3|1\r\n" + artist + "|" + latin1 +
                                                "|song0001.mp3|3\r\n" + artist + "|" + noAudio + "|song0002.mp3|0\r\n" +
                                                artist + "|" + utf8 + "|song0003.mp3|1\r\n");
    EXPECT_EQ(readFile(at("music/song0000.mp3")), readFile(SMALL_SONG));
    EXPECT_EQ(readFile(at("music/song0001.mp3")), readFile(BIG_SONG));
}

// The new list is written beside the old one and renamed onto it when
// complete: a write that fails (the disk full) leaves the old list exactly as
// it was and no temporary file; a list that is a link is replaced, and the
// file it points at is not written.
TEST_F(HostileCollection, SongListIsReplacedOnlyWhenCompleteAndNeverThroughALink) {
    makeFolder(at("A"));
    copyInto(SMALL_SONG, at("A/first.mp3"));
    const std::string previous = "Old|list|kept.mp3|1\r\n";
    writeFile(at("songlist.ini"), previous);
    RunResult full = runSorvil(tree, {"nocopy"}, RunOptions{false, 10});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.output, START_NO_COPY + ONE_ARTIST_A + "  first: 00:01\nERROR: Cannot write songlist.ini: File too large\n");
    EXPECT_EQ(readFile(at("songlist.ini")), previous);
    EXPECT_EQ(folderEntries(root).size(), 2u) << "a temporary file was left";

    TempDir outside;
    writeFile(outside.file("list"), previous);
    ASSERT_EQ(std::remove(at("songlist.ini").c_str()), 0);
    ASSERT_EQ(symlink(outside.file("list").c_str(), at("songlist.ini").c_str()), 0);
    const auto outsideBefore = treeFingerprint(outside.path());
    RunResult linked = runSorvil(tree, {"nocopy"});
    EXPECT_EQ(linked.status, 0);
    EXPECT_FALSE(fs::is_symlink(at("songlist.ini")));
    EXPECT_EQ(readFile(at("songlist.ini")), "A|first|first.mp3|1\r\n");
    EXPECT_EQ(treeFingerprint(outside.path()), outsideBefore);
}

// Files far larger than any song are refused before anything is allocated:
// 2 GiB does not fit a signed 32-bit size, and 4 GiB + 417 bytes would look
// like 417 bytes if the size were cut to 32 bits; being too large to be a
// song is no failure of the run. Nor are they copied (not a byte written on a
// disk that fills at 64 KiB) or listed: the list names only copies.
TEST_F(HostileCollection, GiantSparseSongsAreRefusedWithoutLoadingThem) {
    makeFolder(at("A"));
    makeSparseFile(at("A/1 two gigabytes.mp3"), off_t(1) << 31);
    makeSparseFile(at("A/2 four gigabytes.mp3"), (off_t(1) << 32) + 417);
    makeSparseFile(at("A/3 just over.mp3"), (off_t(1) << 30) + 1);
    copyInto(SMALL_SONG, at("A/4 real.mp3"));
    const std::string refused2g = "ERROR: Cannot load a file of 2147483648 bytes (the limit is 1073741824)\n";
    const std::string refused4g = "ERROR: Cannot load a file of 4294967713 bytes (the limit is 1073741824)\n";
    const std::string refused1g = "ERROR: Cannot load a file of 1073741825 bytes (the limit is 1073741824)\n";

    RunResult kept = runSorvil(tree, {"nocopy"});
    EXPECT_EQ(kept.status, 0);
    EXPECT_EQ(kept.output, START_NO_COPY + ONE_ARTIST_A + "  1 two gigabytes: " + refused2g +
                               "ERROR: Cannot load MP3 file A/1 two gigabytes.mp3\n00:00\n"
                               "  2 four gigabytes: " +
                               refused4g +
                               "ERROR: Cannot load MP3 file A/2 four gigabytes.mp3\n00:00\n"
                               "  3 just over: " +
                               refused1g + "ERROR: Cannot load MP3 file A/3 just over.mp3\n00:00\n  4 real: 00:01\n");
    EXPECT_LT(kept.peakKilobytes, 256 * 1024);

    RunResult copied = runSorvil(tree, {}, RunOptions{false, 64 * 1024});
    EXPECT_EQ(copied.status, 0);
    EXPECT_EQ(copied.output, START_CREATING + kept.output.substr(START_NO_COPY.size()));
    EXPECT_EQ(readFile(at("songlist.ini")), "A|4 real|song0003.mp3|1\r\n");
    EXPECT_EQ(folderEntries(at("music")), std::vector<std::string>{"song0003.mp3"});
}

// An earlier list far beyond any collection's is not read: the run takes
// the memory of any other and replaces it.
TEST_F(HostileCollection, EarlierListOfHundredsOfMegabytesIsNotRead) {
    makeFolder(at("A"));
    copyInto(SMALL_SONG, at("A/first.mp3"));
    makeSparseFile(at("songlist.ini"), off_t(300) << 20);
    RunResult run = runSorvil(tree, {}, RunOptions{false, 0, true});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(readFile(at("songlist.ini")), "A|first|song0000.mp3|1\r\n");
    EXPECT_LT(run.peakKilobytes, 64 * 1024);
}

// The folder's flush after the list's rename fails: the new list is in place
// but perhaps not on the disk, and the message says just that.
TEST_F(HostileCollection, ListWrittenButNotFlushedIsSaidSo) {
    if (std::system("command -v strace >/dev/null") != 0) GTEST_SKIP() << "strace is missing";
    makeFolder(at("A"));
    copyInto(SMALL_SONG, at("A/first.mp3"));
    RunResult run = runProgram("sorvil", tree, root, {"nocopy"}, RunOptions{.wrapper = {"strace", "-qq", "-o",
        "/dev/null", "-e", "trace=fsync", "-e", "inject=fsync:error=EIO:when=2"}});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, START_NO_COPY + ONE_ARTIST_A + "  first: 00:01\nERROR: songlist.ini was written but may "
                                                         "not be on the disk yet: Input/output error\n");
    EXPECT_EQ(readFile(at("songlist.ini")), "A|first|first.mp3|1\r\n");
}

// Thousands of songs in one artist: numbered in name order, every copy made,
// every record written.
TEST_F(HostileCollection, ThousandsOfSongsInOneArtistAreAllNumberedCopiedAndListed) {
    constexpr int SONGS = 3000;
    makeFolder(at("Many"));
    copyInto(SMALL_SONG, at("original"));
    std::string expectedOutput = START_CREATING + "  Many\n1 artist(s) found.\n\nProcessing songs for Many...\n";
    std::string expectedList;
    char name[32];
    for (int i = 0; i < SONGS; ++i) {
        std::snprintf(name, sizeof name, "s%04d", i);
        ASSERT_EQ(link(at("original").c_str(), at(std::string("Many/") + name + ".mp3").c_str()), 0);
        expectedOutput += std::string("  ") + name + ": 00:01\n";
        char record[64];
        std::snprintf(record, sizeof record, "Many|%s|song%04d.mp3|1\r\n", name, i);
        expectedList += record;
    }
    RunResult run = runSorvil(tree, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, expectedOutput);
    EXPECT_EQ(readFile(at("songlist.ini")), expectedList);
    EXPECT_EQ(folderEntries(at("music")).size(), size_t(SONGS));
    EXPECT_EQ(readFile(at("music/song2999.mp3")), readFile(SMALL_SONG));
    EXPECT_FALSE(exists(at("music/song3000.mp3")));
}

// "music" on a full file system: every copy that does not fit fails with its
// message and leaves no partial file; the songs are still measured from their
// own files, smaller copies still fit, and the song list is written.
TEST_F(HostileCollection, CopiesOntoAFullDiskFailCleanlyAndTheRunGoesOn) {
    makeFolder(at("A"));
    copyInto(BIG_SONG, at("A/1 big.mp3"));
    copyInto(SMALL_SONG, at("A/2 small.mp3"));
    copyInto(BIG_SONG, at("A/3 big.mp3"));
    RunResult run = runSorvil(tree, {}, RunOptions{false, 8192});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, START_CREATING + ONE_ARTIST_A +
                              "  1 big: ERROR: Cannot copy MP3 file to ../music/song0000.mp3: File too large\n00:03\n"
                              "  2 small: 00:01\n"
                              "  3 big: ERROR: Cannot copy MP3 file to ../music/song0002.mp3: File too large\n00:03\n");
    EXPECT_EQ(readFile(at("songlist.ini")), "A|2 small|song0001.mp3|1\r\n");
    EXPECT_EQ(folderEntries(at("music")), std::vector<std::string>{"song0001.mp3"});
    EXPECT_EQ(readFile(at("music/song0001.mp3")), readFile(SMALL_SONG));
    EXPECT_EQ(readFile(at("A/1 big.mp3")), readFile(BIG_SONG));
    EXPECT_EQ(readFile(at("A/3 big.mp3")), readFile(BIG_SONG));
}

// A card's write-protect switch after an artist was added that sorts first:
// no copy can move to its new number, so none is listed under it, the copies
// stay as they were, and so does the earlier list that names them.
TEST_F(HostileCollection, CopiesIntoAReadOnlyMusicFolderFailCleanlyAndTheRunGoesOn) {
    makeFolder(at("A"));
    copyInto(BIG_SONG, at("A/1 first.mp3"));
    copyInto(SMALL_SONG, at("A/2 second.mp3"));
    RunResult run = runSorvil(tree, {}, RunOptions{true, 0});
    if (run.status == CANNOT_START) GTEST_SKIP() << "the ordinary user cannot start the built program here";
    makeFolder(at("0"));
    copyInto(SMALL_SONG, at("0/new.mp3"));
    chmod(at("music").c_str(), 0555);
    run = runSorvil(tree, {}, RunOptions{true, 0});
    EXPECT_EQ(run.status, 1);
    const std::string denied = ": Permission denied\n";
    EXPECT_EQ(run.output, START_EXISTING + "  0\n  A\n2 artist(s) found.\nERROR: Cannot write ../music/.sorvil-copies" +
                              denied + "\nProcessing songs for 0...\n  new: ERROR: Cannot copy MP3 file to "
                              "../music/song0000.mp3" + denied + "00:01\n\nProcessing songs for A...\n"
                              "  1 first: ERROR: Cannot copy MP3 file to ../music/song0001.mp3" + denied + "00:03\n"
                              "  2 second: ERROR: Cannot copy MP3 file to ../music/song0002.mp3" + denied + "00:01\n");
    // No copy changed, so the earlier list is still true and stays.
    EXPECT_EQ(readFile(at("songlist.ini")), "A|1 first|song0000.mp3|3\r\nA|2 second|song0001.mp3|1\r\n");
    EXPECT_EQ(folderEntries(at("music")), (std::vector<std::string>{"song0000.mp3", "song0001.mp3"}));
    EXPECT_EQ(readFile(at("music/song0000.mp3")), readFile(BIG_SONG));
    EXPECT_EQ(readFile(at("music/song0001.mp3")), readFile(SMALL_SONG));
}

// One song image at a time: the peak memory over several larger songs is
// that over one of them, well below the sum of their sizes.
TEST_F(HostileCollection, PeakMemoryHoldsOneSongImageAtATime) {
    // About 8 MB of real frames: the encoded song repeated.
    const std::string frames = readFile(testData(L3_44100));
    std::string larger;
    while (larger.size() < 8u << 20) larger += frames;
    const long imageKilobytes = long(larger.size() / 1024);
    // Frames counted at the first frame's 417 bytes, 26 ms each.
    const int seconds = int(larger.size() / 417 * 26 / 1000);
    char duration[16];
    std::snprintf(duration, sizeof duration, "%02d:%02d", seconds / 60, seconds % 60);

    TempDir single;
    makeFolder(single.file("A"));
    writeFile(single.file("A/only.mp3"), larger);
    makeFolder(at("A"));
    writeFile(at("A/song 1.mp3"), larger);
    for (int i = 2; i <= 6; ++i)
        ASSERT_EQ(link(at("A/song 1.mp3").c_str(), at("A/song " + std::to_string(i) + ".mp3").c_str()), 0);

    RunResult one = runSorvil(single, {}, RunOptions{false, 0, true});
    RunResult six = runSorvil(tree, {}, RunOptions{false, 0, true});
    ASSERT_EQ(one.status, 0);
    ASSERT_EQ(six.status, 0);
    EXPECT_EQ(one.output, START_CREATING + ONE_ARTIST_A + "  only: " + duration + "\n");
    EXPECT_EQ(readFile(at("music/song0005.mp3")), larger);
    RecordProperty("peakKilobytesOneSong", int(one.peakKilobytes));
    RecordProperty("peakKilobytesSixSongs", int(six.peakKilobytes));
    // The image is really held (the measurement sees it) ...
    EXPECT_GT(one.peakKilobytes, imageKilobytes);
    // ... and six songs need no more than one, give or take half an image.
    EXPECT_LT(six.peakKilobytes, one.peakKilobytes + imageKilobytes / 2)
        << "one song: " << one.peakKilobytes << " KiB, six songs: " << six.peakKilobytes << " KiB";
}

}  // namespace
}  // namespace sorvil
