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

const char SORVIL_USAGE[] = "Usage: sorvil [--m3u] [nocopy] [FOLDER]   (sorvil --help tells more)\n";

const char SORVIL_HELP[] =
    "Usage: sorvil [--m3u] [FOLDER]   copy the songs into music/ and list them\n"
    "  or:  sorvil [--m3u] nocopy [FOLDER]   list them under their own names\n"
    "  or:  sorvil -h | --help | --version\n"
    "\n"
    "Prepares a music collection for the companion player. In FOLDER (default:\n"
    "the current folder), whose sub-folders are artists holding *.mp3 songs,\n"
    "directly or in album folders at any depth, it copies each song into music/\n"
    "as song0000.mp3, song0001.mp3, ..., measures each song's playing time,\n"
    "prints the times and writes songlist.ini with one artist|title|file|seconds\n"
    "line per song, the title being the file name less its .mp3 ending.\n"
    "Artists and songs come in name order, ignoring letter case: an artist's own\n"
    "songs first, then each album folder whole. Songs directly in FOLDER have\n"
    "no artist and are not listed; a NOTE line says how many. A closing NOTE\n"
    "line says how many songs were listed and copies copied, kept, moved and\n"
    "removed, and how many failures there were.\n"
    "\n"
    "  --m3u       also write songlist.m3u8, the same songs as a playlist for\n"
    "              other players (first argument only)\n"
    "  nocopy      copy nothing; songlist.ini names each song's own file\n"
    "              (any letter case, first argument after --m3u)\n"
    "  FOLDER      run as if started inside FOLDER\n"
    "  -h, --help  print this help and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "The music folder is an existing one named music in any letter case, else a\n"
    "new music/. A re-run copies only new or changed songs, renames the other\n"
    "copies to their new numbers and removes those no song needs, keeping a\n"
    "record of its copies in music/.sorvil-copies for that. There the run\n"
    "writes, renames or removes only its own names: its record .sorvil-copies,\n"
    "the names that record holds and the song*.mp3 names the copies need\n"
    "(doc/behaviour.md). Once a run wrote songlist.m3u8, every copy run keeps it\n"
    "true until it is deleted. A song over 1 GiB is no failure: it is reported,\n"
    "and neither copied nor listed (with nocopy, listed with 0 seconds).\n"
    "\n"
    "Exit status:\n"
    "  0  everything was done; a song that is empty or holds no MPEG audio is no\n"
    "     failure: it is reported and listed with 0 seconds\n"
    "  1  something failed: a song could not be read, copied or listed, a folder\n"
    "     or an entry of the collection could not be read, the music folder\n"
    "     could not be used, another run was working in the folder, or\n"
    "     songlist.ini, songlist.m3u8 or the report could not be written\n"
    "     (songlist.ini still lists what was processed, but never a copy that\n"
    "     failed)\n"
    "  2  bad command line; nothing was touched\n";

namespace {

const char PLAYLIST_OPTION[] = "--m3u";

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
    // The option first, so that nocopy stays the first word after it.
    size_t next = 0;
    if (next < words.size() && words[next] == PLAYLIST_OPTION) {
        command.playlist = true;
        ++next;
    }
    for (size_t i = next; i < words.size(); ++i) {
        if (words[i] == PLAYLIST_OPTION) return refused("'--m3u' must come before nocopy and FOLDER");
        if (isOption(words[i])) return refused("unknown option '" + words[i] + "'");
    }

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
