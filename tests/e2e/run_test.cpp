// The built sorvil program run in real folder trees: its console output and
// songlist.ini byte for byte, the copies, the exit status.
//
// Songs are real encoder output. Their durations, worked out from the files'
// bytes (frame count = audio bytes / first frame's length unless a Xing frame
// count is present; frame time truncated to whole milliseconds):
//   l3_mpeg1_44100_joint_128k.mp3  24659 bytes / 417 = 59 frames x 26 ms = 1534 ms -> 1 s
//   l2_mpeg1_48000_mono_48k.mp2     9072 bytes / 144 = 63 frames x 24 ms = 1512 ms -> 1 s
//   l3_mpeg2_22050_joint_64k.mp3   12538 bytes / 208 = 60 frames x 26 ms = 1560 ms -> 1 s
//   samples/Aurora Lane/Morning Light.mp3  Xing count 78 frames x 26 ms = 2028 ms -> 2 s
//   samples/Aurora Lane/Track #2.mp3  (9313 - 144 tag) / 78 = 117 frames x 26 ms = 3042 ms -> 3 s
//   samples/Brassworks/Fanfare.mp3   8064 / 144 = 56 frames x 36 ms = 2016 ms -> 2 s
//   samples/Cobalt Sky/Song.MP3      2160 / 72 = 30 frames x 36 ms = 1080 ms -> 1 s
//   samples/Cobalt Sky/Étoile.mp3    8208 / 144 = 57 frames x 36 ms = 2052 ms -> 2 s
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/collection_test.h"
#include "support/program_run.h"

namespace sorvil {
namespace {

namespace fs = std::filesystem;
using namespace test;

const std::string L3_44100 = "encoded/l3_mpeg1_44100_joint_128k.mp3";
const std::string L2_48000 = "encoded/l2_mpeg1_48000_mono_48k.mp2";
const std::string L3_22050 = "encoded/l3_mpeg2_22050_joint_64k.mp3";

const char NOT_AN_MP3[] = "This text is not audio: no frame sync anywhere in it.\n";

class Run : public CollectionTest {};

TEST_F(Run, SampleCollectionIsCopiedMeasuredAndListed) {
    fs::copy(samplesFolder(), root, fs::copy_options::recursive);
    RunResult run = runSorvil(tree, root, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, START_CREATING +
                              "  Aurora Lane\n"
                              "  Brassworks\n"
                              "  Cobalt Sky\n"
                              "3 artist(s) found.\n"
                              "\nProcessing songs for Aurora Lane...\n"
                              "  Morning Light: 00:02\n"
                              "  Track #2: 00:03\n"
                              "\nProcessing songs for Brassworks...\n"
                              "  Fanfare: 00:02\n"
                              "\nProcessing songs for Cobalt Sky...\n"
                              "  Song: 00:01\n"
                              "  \xc3\x89toile: 00:02\n");
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(readFile(at("songlist.ini")),
              "Aurora Lane|Morning Light|song0000.mp3|2\r\n"
              "Aurora Lane|Track #2|song0001.mp3|3\r\n"
              "Brassworks|Fanfare|song0002.mp3|2\r\n"
              "Cobalt Sky|Song|song0003.mp3|1\r\n"
              "Cobalt Sky|\xc3\x89toile|song0004.mp3|2\r\n");
    // Numbered across artists, each copy byte-identical to its song.
    const char* sources[] = {"Aurora Lane/Morning Light.mp3", "Aurora Lane/Track #2.mp3", "Brassworks/Fanfare.mp3",
                             "Cobalt Sky/Song.MP3", "Cobalt Sky/\xc3\x89toile.mp3"};
    for (int i = 0; i < 5; ++i) {
        std::string copy = at("music/song000" + std::to_string(i) + ".mp3");
        ASSERT_TRUE(exists(copy)) << copy;
        EXPECT_EQ(readFile(copy), readFile(at(sources[i]))) << copy;
    }
    EXPECT_FALSE(exists(at("music/song0005.mp3")));
}

TEST_F(Run, NoCopyInAnyLetterCaseKeepsOwnNamesAndMakesNoMusicFolder) {
    makeFolder(at("Band"));
    copyInto(testData(L3_44100), at("Band/First Song.mp3"));
    copyInto(testData(L2_48000), at("Band/second.mp3"));
    for (const char* word : {"nocopy", "NOCOPY", "NoCopy"}) {
        RunResult run = runSorvil(tree, root, {word});
        EXPECT_EQ(run.status, 0) << word;
        EXPECT_EQ(run.output, START_NO_COPY +
                                  "  Band\n"
                                  "1 artist(s) found.\n"
                                  "\nProcessing songs for Band...\n"
                                  "  First Song: 00:01\n"
                                  "  second: 00:01\n")
            << word;
        EXPECT_EQ(readFile(at("songlist.ini")), "Band|First Song|First Song.mp3|1\r\nBand|second|second.mp3|1\r\n");
        EXPECT_FALSE(exists(at("music"))) << word;
    }
}

// Songs at any depth below an artist folder are its own, each folder taken
// whole after the songs beside it. Not walked: a hidden folder, a loop (said),
// an album reached again through a link, the music folder. A song in the
// starting folder has no artist: only counted.
TEST_F(Run, SongsInAlbumFoldersAtAnyDepthBelongToTheirArtist) {
    const std::string one = testData(L3_44100), two = samplesFolder() + "/Aurora Lane/Morning Light.mp3",
                      three = samplesFolder() + "/Aurora Lane/Track #2.mp3";
    copyInto(one, at("loose.mp3"));
    makeFolder(at("Band/Live/CD2"));
    makeFolder(at("Band/.hidden"));
    makeFolder(at("Solo/First"));
    makeFolder(at("Solo/Second"));
    copyInto(one, at("Band/.hidden/unseen.mp3"));
    copyInto(three, at("Band/Intro.mp3"));
    copyInto(two, at("Band/Live/CD2/01 Deep.mp3"));
    copyInto(one, at("Band/Live/01 Deep.mp3"));
    ASSERT_EQ(symlink(".", at("Band/Live/CD2/loop").c_str()), 0);
    ASSERT_EQ(symlink("Live", at("Band/Same live").c_str()), 0);
    ASSERT_EQ(symlink("../music", at("Band/copies").c_str()), 0);
    copyInto(two, at("Solo/First/a.mp3"));
    copyInto(three, at("Solo/Second/b.mp3"));
    const std::string console =
        "  Band\n  Solo\n2 artist(s) found.\nNOTE: 1 song outside an artist folder is not listed\n"
        "\nProcessing songs for Band...\nERROR: Cannot enter folder Band/Live/CD2/loop: it leads back to a folder it "
        "lies in\n  Intro: 00:03\n  Live/01 Deep: 00:01\n  Live/CD2/01 Deep: 00:02\n"
        "\nProcessing songs for Solo...\n  First/a: 00:02\n  Second/b: 00:03\n";
    const char* files[] = {"Intro.mp3", "Live/01 Deep.mp3", "Live/CD2/01 Deep.mp3", "First/a.mp3", "Second/b.mp3"};
    const std::string records[] = {"Band|Intro|", "Band|01 Deep|", "Band|01 Deep|", "Solo|a|", "Solo|b|"};
    const char* seconds[] = {"|3\r\n", "|1\r\n", "|2\r\n", "|2\r\n", "|3\r\n"};
    std::string ownFiles, copies;
    for (int i = 0; i < 5; ++i) {
        ownFiles += records[i] + files[i] + seconds[i];
        copies += records[i] + "song000" + std::to_string(i) + ".mp3" + seconds[i];
    }

    RunResult kept = runSorvil(tree, root, {"nocopy"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.output, START_NO_COPY + console);
    EXPECT_EQ(readFile(at("songlist.ini")), ownFiles);

    RunResult copied = runSorvil(tree, root, {});
    EXPECT_EQ(copied.status, 1);
    EXPECT_EQ(copied.output, START_CREATING + console);
    EXPECT_EQ(readFile(at("songlist.ini")), copies);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(readFile(at("music/song000" + std::to_string(i) + ".mp3")),
                  readFile(at(std::string(i < 3 ? "Band/" : "Solo/") + files[i])));
    EXPECT_FALSE(exists(at("music/song0005.mp3")));
}

TEST_F(Run, EmptyFolderGivesNoArtistsAndAnEmptySongList) {
    RunResult run = runSorvil(tree, root, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, START_CREATING + "0 artist(s) found.\n");
    EXPECT_TRUE(exists(at("songlist.ini")));
    EXPECT_EQ(readFile(at("songlist.ini")), "");
}

TEST_F(Run, MusicFoldersInAnyCaseAreNotArtistsAndExistingMusicIsKept) {
    makeFolder(at("music"));
    makeFolder(at("Music"));
    makeFolder(at("MUSIC"));
    writeFile(at("music/keep.txt"), "kept");
    makeFolder(at("Zed"));
    copyInto(testData(L3_22050), at("Zed/z.mp3"));
    RunResult run = runSorvil(tree, root, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, START_EXISTING + "  Zed\n1 artist(s) found.\n\nProcessing songs for Zed...\n  z: 00:01\n");
    EXPECT_EQ(readFile(at("music/keep.txt")), "kept");
    EXPECT_EQ(readFile(at("music/song0000.mp3")), readFile(testData(L3_22050)));
}

// Without "music" itself, the first of the others in byte order is taken.
TEST_F(Run, ExistingMusicFolderInAnyLetterCaseIsTheOutputFolder) {
    makeFolder(at("Music"));
    makeFolder(at("MUSIC"));
    makeFolder(at("Zed"));
    copyInto(testData(L3_22050), at("Zed/z.mp3"));
    RunResult run = runSorvil(tree, root, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, START_EXISTING + "  Zed\n1 artist(s) found.\n\nProcessing songs for Zed...\n  z: 00:01\n");
    EXPECT_EQ(readFile(at("MUSIC/song0000.mp3")), readFile(testData(L3_22050)));
    EXPECT_TRUE(fs::is_empty(at("Music")));
    EXPECT_FALSE(exists(at("music")));
}

TEST_F(Run, ExistingSongListIsReplacedNotAppended) {
    writeFile(at("songlist.ini"), std::string(500, 'o') + "\r\n");
    makeFolder(at("A"));
    copyInto(testData(L3_44100), at("A/x.mp3"));
    RunResult run = runSorvil(tree, root, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(readFile(at("songlist.ini")), "A|x|song0000.mp3|1\r\n");
}

TEST_F(Run, HiddenEntriesPlainFilesAndOtherFilesAreSkipped) {
    makeFolder(at(".hidden artist"));
    copyInto(testData(L3_44100), at(".hidden artist/song.mp3"));
    writeFile(at("loose.mp3"), NOT_AN_MP3);
    writeFile(at("notes.txt"), "plain file");
    makeFolder(at("Quiet"));  // an artist without songs
    makeFolder(at("Band"));
    copyInto(testData(L3_44100), at("Band/.hidden.mp3"));
    copyInto(testData(L3_44100), at("Band/._resource.mp3"));
    copyInto(testData(L3_44100), at("Band/track.mp3.bak"));
    writeFile(at("Band/cover.jpg"), "image");
    makeFolder(at("Band/folder.mp3"));
    copyInto(testData(L3_44100), at("Band/real.mp3"));
    RunResult run = runSorvil(tree, root, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, START_CREATING +
                              "  Band\n"
                              "  Quiet\n"
                              "2 artist(s) found.\n"
                              "NOTE: 1 song outside an artist folder is not listed\n"
                              "\nProcessing songs for Band...\n"
                              "  real: 00:01\n"
                              "\nProcessing songs for Quiet...\n");
    EXPECT_EQ(readFile(at("songlist.ini")), "Band|real|song0000.mp3|1\r\n");
}

TEST_F(Run, ArtistsAndSongsComeInNameOrderIgnoringCaseThenByByte) {
    for (const char* artist : {"beta", "alpha", "Alpha", "Gamma"}) {
        makeFolder(at(artist));
        copyInto(testData(L3_44100), at(std::string(artist) + "/b.mp3"));
        copyInto(testData(L3_44100), at(std::string(artist) + "/A.mp3"));
        copyInto(testData(L3_44100), at(std::string(artist) + "/a.MP3"));
    }
    RunResult run = runSorvil(tree, root, {"nocopy"});
    EXPECT_EQ(run.status, 0);
    std::string expected = START_NO_COPY + "  Alpha\n  alpha\n  beta\n  Gamma\n4 artist(s) found.\n";
    std::string list;
    for (const char* artist : {"Alpha", "alpha", "beta", "Gamma"}) {
        expected += std::string("\nProcessing songs for ") + artist + "...\n  A: 00:01\n  a: 00:01\n  b: 00:01\n";
        list += std::string(artist) + "|A|A.mp3|1\r\n" + artist + "|a|a.MP3|1\r\n" + artist + "|b|b.mp3|1\r\n";
    }
    EXPECT_EQ(run.output, expected);
    EXPECT_EQ(readFile(at("songlist.ini")), list);
}

// Shown as they are; in the records of copy mode a '|' is shown as '/'.
TEST_F(Run, NamesWithSpacesUtf8BarsAndHashesAreKeptAsTheyAre) {
    std::string artist = "The \xc3\x89t\xc3\xa9 | Band #5";
    makeFolder(at(artist));
    copyInto(testData(L3_44100), at(artist + "/Track #1.mp3"));
    copyInto(testData(L2_48000), at(artist + "/a|b \xe2\x99\xab.mp3"));
    copyInto(testData(L3_22050), at(artist + "/Song.MP3"));
    copyInto(testData(L3_44100), at(artist + "/100% #2 %s.mp3"));
    RunResult run = runSorvil(tree, root, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, START_CREATING + "  " + artist +
                              "\n1 artist(s) found.\n"
                              "\nProcessing songs for " +
                              artist +
                              "...\n"
                              "  100% #2 %s: 00:01\n"
                              "  a|b \xe2\x99\xab: 00:01\n"
                              "  Song: 00:01\n"
                              "  Track #1: 00:01\n");
    std::string shown = "The \xc3\x89t\xc3\xa9 / Band #5";
    EXPECT_EQ(readFile(at("songlist.ini")), shown + "|100% #2 %s|song0000.mp3|1\r\n" + shown +
                                                "|a/b \xe2\x99\xab|song0001.mp3|1\r\n" + shown +
                                                "|Song|song0002.mp3|1\r\n" + shown + "|Track #1|song0003.mp3|1\r\n");
    EXPECT_EQ(readFile(at("music/song0003.mp3")), readFile(testData(L3_44100)));
}

TEST_F(Run, LongestFileAndFolderNamesFitEverywhere) {
    std::string artist(255, 'A');
    std::string title(251, 't');
    makeFolder(at(artist));
    copyInto(testData(L3_44100), at(artist + "/" + title + ".mp3"));
    std::string expectedOutput = "  " + artist + "\n1 artist(s) found.\n\nProcessing songs for " + artist +
                                 "...\n  " + title + ": 00:01\n";

    RunResult copied = runSorvil(tree, root, {});
    EXPECT_EQ(copied.status, 0);
    EXPECT_EQ(copied.output, START_CREATING + expectedOutput);
    EXPECT_EQ(readFile(at("songlist.ini")), artist + "|" + title + "|song0000.mp3|1\r\n");

    RunResult kept = runSorvil(tree, root, {"nocopy"});
    EXPECT_EQ(kept.status, 0);
    EXPECT_EQ(kept.output, START_NO_COPY + expectedOutput);
    EXPECT_EQ(readFile(at("songlist.ini")), artist + "|" + title + "|" + title + ".mp3|1\r\n");
}

// A song that cannot be loaded or measured gets 0 seconds, not the duration of
// the song before it; the messages name the file that was read, the song's
// own, not its copy; an empty file or one without audio has no reason to add.
TEST_F(Run, UnmeasurableSongsGetZeroSecondsAndMessagesNameTheSongsOwnFile) {
    makeFolder(at("A"));
    copyInto(samplesFolder() + "/Aurora Lane/Track #2.mp3", at("A/1 good.mp3"));
    writeFile(at("A/2 text.mp3"), NOT_AN_MP3);
    copyInto(samplesFolder() + "/Aurora Lane/Track #2.mp3", at("A/3 good.mp3"));
    writeFile(at("A/4 empty.mp3"), "");
    RunResult run = runSorvil(tree, root, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, START_CREATING +
                              "  A\n1 artist(s) found.\n\nProcessing songs for A...\n"
                              "  1 good: 00:03\n"
                              "  2 text: ERROR: Cannot create MP3 A/2 text.mp3\n00:00\n"
                              "  3 good: 00:03\n"
                              "  4 empty: ERROR: Cannot load MP3 file A/4 empty.mp3\n00:00\n");
    EXPECT_EQ(readFile(at("songlist.ini")),
              "A|1 good|song0000.mp3|3\r\nA|2 text|song0001.mp3|0\r\nA|3 good|song0002.mp3|3\r\n"
              "A|4 empty|song0003.mp3|0\r\n");
    EXPECT_EQ(readFile(at("music/song0003.mp3")), "");
}

TEST_F(Run, InNoCopyModeMessagesNameTheSongsOwnFile) {
    makeFolder(at("A"));
    copyInto(samplesFolder() + "/Aurora Lane/Track #2.mp3", at("A/1 good.mp3"));
    writeFile(at("A/2 text.mp3"), NOT_AN_MP3);
    writeFile(at("A/3 empty.mp3"), "");
    RunResult run = runSorvil(tree, root, {"nocopy"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, START_NO_COPY +
                              "  A\n1 artist(s) found.\n\nProcessing songs for A...\n"
                              "  1 good: 00:03\n"
                              "  2 text: ERROR: Cannot create MP3 A/2 text.mp3\n00:00\n"
                              "  3 empty: ERROR: Cannot load MP3 file A/3 empty.mp3\n00:00\n");
    EXPECT_EQ(readFile(at("songlist.ini")),
              "A|1 good|1 good.mp3|3\r\nA|2 text|2 text.mp3|0\r\nA|3 empty|3 empty.mp3|0\r\n");
}

// A folder where the copy must go makes that copy fail, whoever runs it; the
// list is still written without it, and the status tells that a copy is
// missing.
TEST_F(Run, FailedCopyIsReportedAndTheRunGoesOn) {
    makeFolder(at("music/song0000.mp3"));
    makeFolder(at("A"));
    copyInto(testData(L3_44100), at("A/first.mp3"));
    copyInto(testData(L3_44100), at("A/second.mp3"));
    RunResult run = runSorvil(tree, root, {});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, START_EXISTING +
                              "  A\n1 artist(s) found.\n\nProcessing songs for A...\n"
                              "  first: ERROR: Cannot copy MP3 file to ../music/song0000.mp3: Is a directory\n00:01\n"
                              "  second: 00:01\n");
    EXPECT_EQ(readFile(at("songlist.ini")), "A|second|song0001.mp3|1\r\n");
    EXPECT_EQ(readFile(at("music/song0001.mp3")), readFile(testData(L3_44100)));
}

TEST_F(Run, PlainFileNamedMusicEndsTheRunBeforeAnythingIsCopied) {
    writeFile(at("music"), "a plain file");
    writeFile(at("songlist.ini"), "previous\r\n");
    makeFolder(at("A"));
    copyInto(testData(L3_44100), at("A/first.mp3"));
    RunResult run = runSorvil(tree, root, {});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output,
              "Starting Sorvil...\n"
              "ERROR: \"music\" is not a directory; the songs cannot be copied into it\n");
    EXPECT_EQ(readFile(at("music")), "a plain file");
    EXPECT_EQ(readFile(at("songlist.ini")), "previous\r\n");
}

// A dangling link named "music": not a folder, and mkdir finds the name taken.
TEST_F(Run, MusicFolderThatCannotBeCreatedEndsTheRun) {
    ASSERT_EQ(symlink("nowhere", at("music").c_str()), 0);
    makeFolder(at("A"));
    copyInto(testData(L3_44100), at("A/first.mp3"));
    RunResult run = runSorvil(tree, root, {});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output,
              "Starting Sorvil...\n"
              "MUSIC directory does not exist; creating it...\n"
              "ERROR: Cannot create MUSIC directory: File exists\n");
    EXPECT_FALSE(exists(at("songlist.ini")));
}

// A folder named songlist.ini is also an artist folder, without songs.
TEST_F(Run, SongListThatCannotBeOpenedGivesExitStatusOne) {
    makeFolder(at("songlist.ini"));
    makeFolder(at("A"));
    copyInto(testData(L3_44100), at("A/first.mp3"));
    RunResult run = runSorvil(tree, root, {"nocopy"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, START_NO_COPY +
                              "  A\n  songlist.ini\n2 artist(s) found.\n"
                              "\nProcessing songs for A...\n  first: 00:01\n"
                              "\nProcessing songs for songlist.ini...\n"
                              "ERROR: Cannot write songlist.ini: Is a directory\n");
}

TEST_F(Run, ReadOnlySongsAndArtistFoldersAreFound) {
    makeFolder(at("Locked Band"));
    copyInto(testData(L3_44100), at("Locked Band/kept.mp3"));
    chmod(at("Locked Band/kept.mp3").c_str(), 0444);
    chmod(at("Locked Band").c_str(), 0555);
    RunResult run = runSorvil(tree, root, {}, RunOptions{true, 0});
    if (run.status == CANNOT_START) GTEST_SKIP() << "the ordinary user cannot start the built program here";
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, START_CREATING +
                              "  Locked Band\n1 artist(s) found.\n\nProcessing songs for Locked Band...\n"
                              "  kept: 00:01\n");
    EXPECT_EQ(readFile(at("songlist.ini")), "Locked Band|kept|song0000.mp3|1\r\n");
    EXPECT_EQ(readFile(at("music/song0000.mp3")), readFile(testData(L3_44100)));
}

}  // namespace
}  // namespace sorvil
