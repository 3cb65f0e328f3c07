// Runs the built sorvil program (or another built program) in a real folder
// tree, as a user would, and collects its exit status, console output and
// peak memory. On Windows (program_run_windows.cpp) the user, the file-size
// limit, the wrapper and the interrupt are not offered: the tests that need
// them are POSIX by nature.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace sorvil::test {

constexpr unsigned NOBODY = 65534;
// The child's exit status when the program cannot be started at all (for the
// ordinary user, a build folder it may not enter).
constexpr int CANNOT_START = 124;

struct RunOptions {
    // Runs as an ordinary user (nobody when the tests run as root, who sees
    // no file as read-only); the tree is handed to that user first.
    bool asOrdinaryUser = false;
    // A file-size limit in bytes (0: none): writes past it fail as on a full
    // file system.
    uint64_t fileSizeLimit = 0;
    // Peak memory is compared: an address-checking build must reuse freed
    // blocks at once instead of holding them back to catch late uses.
    bool measuringMemory = false;
    // A command the program is started through, looked up in PATH (for
    // instance a virtual display, {"xvfb-run", "-a"}).
    std::vector<std::string> wrapper{};
    // Variables set for the program, each "NAME=value".
    std::vector<std::string> environment{};
    // Sends SIGINT to the program after this long (0: never). A program
    // started through a wrapper gets it, not the wrapper.
    int interruptAfterMilliseconds = 0;
};

struct RunResult {
    int status = -1;
    std::string output;       // sorvil's without its closing line
    std::string closingNote;  // sorvil's last line when it is the closing NOTE, without its line end
    std::string errors;
    long peakKilobytes = 0;  // the child's peak resident set
};

// Runs the built PROGRAM (its path in the build folder: "sorvil",
// "tools/sorvil-decode") with `arguments` in `folder`; `tree` is the
// temporary tree that holds it (handed to the ordinary user when asked). A
// run that hangs is ended after a minute and fails its test.
RunResult runProgram(const std::string& program, const TempDir& tree, const std::string& folder,
                     const std::vector<std::string>& arguments, RunOptions options = {});
// Runs sorvil that way; it must write nothing to standard error, and a run
// that started ends with its closing NOTE line.
RunResult runSorvil(const TempDir& tree, const std::string& folder, const std::vector<std::string>& arguments,
                    RunOptions options = {});
// The same in the tree's root folder.
RunResult runSorvil(const TempDir& tree, const std::vector<std::string>& arguments, RunOptions options = {});

// The project's sample collection.
std::string samplesFolder();
bool exists(const std::string& path);  // also a dangling link
void makeFolder(const std::string& path);
void copyInto(const std::string& source, const std::string& target);

}  // namespace sorvil::test
