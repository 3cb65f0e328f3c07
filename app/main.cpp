#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/command_line.h"
#include "app/run.h"
#include "platform/runtime.h"

namespace {

// The report is the run's answer: when standard output cannot take it (a full
// disk, a closed pipe), the run has failed, whatever else it did.
int checkedStandardOutput(int status) {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && !std::ferror(stdout)) return status;
    const int error = flushed ? 0 : errno;
    std::fprintf(stderr, "sorvil: cannot write to standard output%s%s\n", error ? ": " : "",
                 error ? std::strerror(error) : "");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace sorvil;
    // A reader that goes away (sorvil | head) must not end the run halfway:
    // the failed writes are said once at the end and the copies and the
    // list are still made.
    runtime::ignoreBrokenPipes();
    // Names are shown as the UTF-8 they are, whatever the console's own code page.
    runtime::useUtf8Console();
    const CommandLine command = parseCommandLine(argc, argv);
    switch (command.action) {
        case CommandAction::Help: std::fputs(SORVIL_HELP, stdout); return checkedStandardOutput(0);
        case CommandAction::Version: return checkedStandardOutput(printVersion("sorvil"));
        case CommandAction::Refuse: return refuseCommandLine("sorvil", command.problem, SORVIL_USAGE);
        case CommandAction::Run: break;
    }
    return checkedStandardOutput(runSorvil(command));
}
