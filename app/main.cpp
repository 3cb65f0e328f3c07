#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/command_line.h"
#include "app/run.h"
#include "platform/runtime.h"

int main(int argc, char** argv) {
    using namespace sorvil;
    const CommandLine command = parseCommandLine(argc, argv);
    switch (command.action) {
        case CommandAction::Help: std::fputs(SORVIL_HELP, stdout); return 0;
        case CommandAction::Version: return printVersion("sorvil");
        case CommandAction::Refuse: return refuseCommandLine("sorvil", command.problem, SORVIL_USAGE);
        case CommandAction::Run: break;
    }
    if (!command.folder.empty() && runtime::_chdir(command.folder.c_str()) != 0) {
        std::fprintf(stderr, "sorvil: cannot enter '%s': %s\n", command.folder.c_str(), std::strerror(errno));
        return 1;
    }
    // The run reads "nocopy" as argument 1, which is where the command line has it.
    return runSorvil(command.noCopy ? 2 : 1, argv);
}
