// Runs the program's run in a child of the test process, so that a test can
// reach inside it (set a counter, wrap a system call) and still see what a
// user sees: the exit status and the console output.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/run.h"
#include "support/temp_dir.h"

namespace sorvil::test {

struct InProcessRun {
    int status = -1;  // the exit status, or -1 after a death by signal
    std::string output;
};

// `prepare` runs in the child first.
template <typename Prepare>
InProcessRun runInProcess(const TempDir& scratch, const CommandLine& command, Prepare prepare) {
    const std::string outputPath = scratch.file(".run-output");
    pid_t child = fork();
    if (child == 0) {
        if (!std::freopen(outputPath.c_str(), "w", stdout)) _exit(125);
        prepare();
        int status = runSorvil(command);
        _exit(std::fflush(stdout) == 0 ? status : 125);
    }
    InProcessRun run;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    run.output = readFile(outputPath);
    unlink(outputPath.c_str());
    return run;
}

}  // namespace sorvil::test
