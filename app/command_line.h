// The command lines of the project's programs: what sorvil is asked to do,
// and the conventions all its programs share (help on standard output, the
// version, a refusal on standard error with exit status 2).
#pragma once

#include <string>

namespace sorvil {

enum class CommandAction { Run, Help, Version, Refuse };

struct CommandLine {
    CommandAction action = CommandAction::Run;
    bool noCopy = false;
    bool playlist = false;  // --m3u: songlist.m3u8 is written beside songlist.ini
    std::string folder;   // where the run happens; empty for the current folder
    std::string problem;  // what is wrong with a refused command line
    int folderError = 0;  // errno of a FOLDER that could not be looked at (not a wrong command line)
};

// sorvil [--m3u] [nocopy] [FOLDER] | -h | --help | --version. A FOLDER that is not a
// folder is refused here, before anything is touched.
CommandLine parseCommandLine(int argumentCount, char** arguments);

extern const char SORVIL_USAGE[];
extern const char SORVIL_HELP[];

// The exit status for a command line that cannot be obeyed.
constexpr int EXIT_BAD_COMMAND_LINE = 2;

// The version of every program of the project.
const char* sorvilVersion();
// Prints "PROGRAM VERSION"; returns 0.
int printVersion(const char* program);
// Prints "PROGRAM: PROBLEM" and the usage line on standard error; returns
// EXIT_BAD_COMMAND_LINE.
int refuseCommandLine(const char* program, const std::string& problem, const char* usage);
// Help (-h or --help anywhere on the command line, which wins) or Version
// (--version anywhere); otherwise Run.
CommandAction helpOrVersionAsked(int argumentCount, char** arguments);
// For the tools: prints `help` or the version when the command line asks for
// either, and then gives true with the exit status in *status.
bool answeredHelpOrVersion(int argumentCount, char** arguments, const char* program, const char* help,
                           int* status);
// An argument starting with '-', other than "-" alone (an ordinary name).
bool isOption(const std::string& argument);

}  // namespace sorvil
