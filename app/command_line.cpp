#include "app/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <strings.h>
#include <vector>

#include "platform/runtime.h"

namespace sorvil {

const char SORVIL_USAGE[] = "Usage: sorvil [nocopy] [FOLDER]   (sorvil --help tells more)\n";

const char SORVIL_HELP[] =
    "Usage: sorvil [FOLDER]          copy the songs into music/ and list them\n"
    "  or:  sorvil nocopy [FOLDER]   list the songs under their own names\n"
    "  or:  sorvil -h | --help | --version\n"
    "\n"
    "Prepares a music collection for the companion player. In FOLDER (default:\n"
    "the current folder), whose sub-folders are artists holding *.mp3 songs, it\n"
    "copies each song into music/ as song0000.mp3, song0001.mp3, ..., measures\n"
    "each song's playing time, prints the times and writes songlist.ini with one\n"
    "artist|title|file|seconds line per song, the title being the file name less\n"
    "its .mp3 ending.\n"
    "\n"
    "  nocopy      copy nothing; songlist.ini names each song's own file\n"
    "              (any letter case, first argument only)\n"
    "  FOLDER      run as if started inside FOLDER\n"
    "  -h, --help  print this help and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Writes song*.mp3 into FOLDER's music folder (not with nocopy) and\n"
    "FOLDER/songlist.ini. The music folder is an existing one named music in\n"
    "any letter case, else a new music/. There the run writes, renames or\n"
    "removes only its own names: its record .sorvil-copies, the names that\n"
    "record holds and the song*.mp3 names the copies need (doc/behaviour.md).\n"
    "\n"
    "Exit status:\n"
    "  0  everything done; a song that is empty, holds no MPEG audio or is over\n"
    "     1 GiB is no failure: it is reported and listed with 0 seconds\n"
    "  1  something failed: a song could not be read, copied or listed, a\n"
    "     folder or an entry of the collection could not be read, the music\n"
    "     folder could not be used, or songlist.ini or the report could not be\n"
    "     written (songlist.ini still lists what was processed when a song or\n"
    "     an artist failed)\n"
    "  2  bad command line; nothing was touched\n";

namespace {

bool isNoCopy(const std::string& argument) { return strcasecmp(argument.c_str(), "nocopy") == 0; }

CommandLine refused(const std::string& problem) {
    CommandLine command;
    command.action = CommandAction::Refuse;
    command.problem = problem;
    return command;
}

}  // namespace

bool isOption(const std::string& argument) { return argument.size() > 1 && argument[0] == '-'; }

CommandAction helpOrVersionAsked(int argumentCount, char** arguments) {
    const std::vector<std::string> words(arguments + 1, arguments + argumentCount);
    auto asked = [&words](std::initializer_list<const char*> names) {
        return std::find_first_of(words.begin(), words.end(), names.begin(), names.end()) != words.end();
    };
    if (asked({"-h", "--help"})) return CommandAction::Help;
    if (asked({"--version"})) return CommandAction::Version;
    return CommandAction::Run;
}

bool answeredHelpOrVersion(int argumentCount, char** arguments, const char* program, const char* help,
                           int* status) {
    switch (helpOrVersionAsked(argumentCount, arguments)) {
        case CommandAction::Help: std::fputs(help, stdout); *status = 0; return true;
        case CommandAction::Version: *status = printVersion(program); return true;
        default: return false;
    }
}

CommandLine parseCommandLine(int argumentCount, char** arguments) {
    CommandLine command;
    command.action = helpOrVersionAsked(argumentCount, arguments);
    if (command.action != CommandAction::Run) return command;
    const std::vector<std::string> words(arguments + 1, arguments + argumentCount);
    for (const std::string& word : words) {
        if (isOption(word)) return refused("unknown option '" + word + "'");
    }

    size_t next = 0;
    if (next < words.size() && isNoCopy(words[next])) {
        command.noCopy = true;
        ++next;
    }
    if (next < words.size()) {
        command.folder = words[next++];
        // Only a FOLDER that is not there or is no folder is a wrong command
        // line; any other failure (an I/O error) is the run's to report.
        if (!runtime::isFolder(command.folder.c_str())) {
            if (errno != ENOENT && errno != ENOTDIR) {
                command.folderError = errno;
                return command;
            }
            const std::string reason = std::strerror(errno);
            return refused("cannot run in '" + command.folder + "': " + reason);
        }
    }
    if (next < words.size())
        return refused(isNoCopy(words[next]) ? "'nocopy' must come before FOLDER" : "too many arguments");
    return command;
}

const char* sorvilVersion() { return SORVIL_VERSION; }

int printVersion(const char* program) {
    std::printf("%s %s\n", program, sorvilVersion());
    return 0;
}

int refuseCommandLine(const char* program, const std::string& problem, const char* usage) {
    std::fprintf(stderr, "%s: %s\n%s", program, problem.c_str(), usage);
    return EXIT_BAD_COMMAND_LINE;
}

}  // namespace sorvil
