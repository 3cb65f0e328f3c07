// The command lines of the built programs: help and version, refusals that
// touch nothing, and the folder sorvil runs in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/collection_test.h"
#include "support/program_run.h"

namespace sorvil {
namespace {

using namespace test;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const char SORVIL_USAGE[] = "Usage: sorvil [--m3u] [nocopy] [FOLDER]   (sorvil --help tells more)\n";
const std::string SONG = "encoded/l3_mpeg1_44100_joint_128k.mp3";

// A collection that any run would write into, beside a plain file.
class CommandLine : public CollectionTest {
protected:
    void SetUp() override {
        makeFolder(at("Collection/Band"));
        copyInto(testData(SONG), at("Collection/Band/song.mp3"));
        writeFile(at("plain.txt"), "not a folder");
    }
    void expectNothingWritten() const {
        for (const char* written : {"music", "songlist.ini", "Collection/music", "Collection/songlist.ini"})
            EXPECT_FALSE(exists(at(written))) << written;
    }
    void expectRefused(const RunResult& run, const std::string& program, const std::string& problem) const {
        EXPECT_EQ(run.status, 2) << problem;
        EXPECT_EQ(run.output, "") << problem;
        EXPECT_THAT(run.errors, StartsWith(program + ": " + problem + "\nUsage: " + program + " "));
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 2) << run.errors;
    }
};

TEST_F(CommandLine, HelpAndVersionGoToStandardOutputAndTouchNothing) {
    const std::vector<std::vector<std::string>> helpLines{{"-h"}, {"--help"}, {"nocopy", "--help"}, {"--bad", "-h"}};
    for (const std::vector<std::string>& arguments : helpLines) {
        RunResult run = runProgram("sorvil", tree, root, arguments);
        EXPECT_EQ(run.status, 0);
        EXPECT_THAT(run.output, StartsWith("Usage: sorvil [--m3u] [FOLDER] "));
        EXPECT_THAT(run.output, HasSubstr("sorvil [--m3u] nocopy [FOLDER] "));
        EXPECT_THAT(run.output, HasSubstr("songlist.ini"));
        EXPECT_THAT(run.output, HasSubstr("Exit status:"));
        EXPECT_EQ(run.errors, "");
    }
    RunResult version = runProgram("sorvil", tree, root, {"Collection", "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "sorvil " SORVIL_VERSION "\n");
    expectNothingWritten();
}

TEST_F(CommandLine, BadCommandLinesExitWithTwoAndTouchNothing) {
    struct Case {
        std::vector<std::string> arguments;
        std::string problem;
    };
    const Case cases[] = {
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
        {{"nocopy", "Collection", "-x"}, "unknown option '-x'"},
        {{"Missing"}, "cannot run in 'Missing': No such file or directory"},
        {{"nocopy", "plain.txt"}, "cannot run in 'plain.txt': Not a directory"},
        {{""}, "cannot run in '': No such file or directory"},
        {{"Collection", "nocopy"}, "'nocopy' must come before FOLDER"},
        {{"nocopy", "--m3u", "Collection"}, "'--m3u' must come before nocopy and FOLDER"},
        {{"nocopy", "Collection", "Collection"}, "too many arguments"},
    };
    for (const Case& c : cases) {
        RunResult run = runProgram("sorvil", tree, root, c.arguments);
        expectRefused(run, "sorvil", c.problem);
        EXPECT_EQ(run.errors, "sorvil: " + c.problem + "\n" + SORVIL_USAGE);
    }
    expectNothingWritten();
}

// The same output and files as a run started inside the folder, and nothing
// where the program was started.
TEST_F(CommandLine, RunInAGivenFolderIsTheRunStartedInsideIt) {
    auto takeWritten = [this] {
        std::string list = readFile(at("Collection/songlist.ini"));
        bool copied = exists(at("Collection/music/song0000.mp3"));
        std::filesystem::remove_all(at("Collection/music"));
        std::filesystem::remove(at("Collection/songlist.ini"));
        return std::pair{list, copied};
    };
    for (const std::vector<std::string>& mode : {std::vector<std::string>{}, std::vector<std::string>{"NoCopy"}}) {
        RunResult inside = runSorvil(tree, at("Collection"), mode);
        const auto insideWritten = takeWritten();
        for (const std::string& folder : {std::string("Collection"), at("Collection")}) {
            std::vector<std::string> arguments = mode;
            arguments.push_back(folder);
            RunResult given = runSorvil(tree, root, arguments);
            EXPECT_EQ(given.status, inside.status) << folder;
            EXPECT_EQ(given.output, inside.output) << folder;
            EXPECT_EQ(takeWritten(), insideWritten) << folder;
            EXPECT_FALSE(exists(at("music")));
            EXPECT_FALSE(exists(at("songlist.ini")));
        }
        EXPECT_EQ(insideWritten.second, mode.empty());
    }
}

TEST_F(CommandLine, FolderThatCannotBeEnteredIsAFailure) {
    chmod(at("Collection").c_str(), 0);
    RunResult run = runProgram("sorvil", tree, root, {"Collection"}, RunOptions{true, 0});
    chmod(at("Collection").c_str(), 0755);
    if (run.status == CANNOT_START) GTEST_SKIP() << "the ordinary user cannot start the built program here";
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors, "sorvil: cannot enter 'Collection': Permission denied\n");
    expectNothingWritten();
}

TEST_F(CommandLine, DecodeAndCompareToolsFollowTheSameConventions) {
    writeFile(at("text.mp3"), "This text is not audio: no frame sync anywhere in it.\n");
    for (const std::string name : {"sorvil-decode", "sorvil-compare"}) {
        const std::string program = "tools/" + name;
        RunResult help = runProgram(program, tree, root, {"a", "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_THAT(help.output, StartsWith("Usage: " + name + " "));
        EXPECT_THAT(help.output, HasSubstr("Exit status:"));
        EXPECT_EQ(help.errors, "");
        RunResult version = runProgram(program, tree, root, {"--version"});
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.output, name + " " SORVIL_VERSION "\n");
        expectRefused(runProgram(program, tree, root, {"--frobnicate", "a", "b"}), name,
                      "unknown option '--frobnicate'");
        expectRefused(runProgram(program, tree, root, {"a", "b", "c"}), name, "too many arguments");
    }
    expectRefused(runProgram("tools/sorvil-decode", tree, root, {"text.mp3"}), "sorvil-decode",
                  "IN and OUT are needed");
    expectRefused(runProgram("tools/sorvil-compare", tree, root, {"a", "b", "--channels", "3"}), "sorvil-compare",
                  "--channels is 1 or 2");

    RunResult decode = runProgram("tools/sorvil-decode", tree, root, {"text.mp3", "out.raw"});
    EXPECT_EQ(decode.status, 1);
    EXPECT_EQ(decode.errors, "sorvil-decode: no MPEG audio stream found in text.mp3\n");
    EXPECT_FALSE(exists(at("out.raw")));
    RunResult compare = runProgram("tools/sorvil-compare", tree, root, {"missing.raw", "text.mp3"});
    EXPECT_EQ(compare.status, 1);
    EXPECT_EQ(compare.errors, "sorvil-compare: cannot read missing.raw: No such file or directory\n");
    // An input over 1 GiB is refused; a device's endless bytes are, once 1 GiB is read. (This file, 1 GiB and
    // a byte, is a hole without a byte on disk.)
    std::filesystem::resize_file(at("text.mp3"), (uintmax_t(1) << 30) + 1);
    compare = runProgram("tools/sorvil-compare", tree, root, {"plain.txt", "text.mp3"});
    EXPECT_EQ(compare.status, 1);
    EXPECT_EQ(compare.errors, "sorvil-compare: text.mp3 is larger than 1 GiB, the largest input taken\n");
}

}  // namespace
}  // namespace sorvil
