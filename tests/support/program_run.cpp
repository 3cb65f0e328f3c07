#include "support/program_run.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace sorvil::test {

RunResult runSorvil(const TempDir& tree, const std::string& folder, const std::vector<std::string>& arguments,
                    RunOptions options) {
    RunResult result = runProgram("sorvil", tree, folder, arguments, options);
    EXPECT_EQ(result.errors, "") << "the program wrote to standard error";
    EXPECT_EQ(result.output.rfind("Starting Sorvil...\n", 0) == 0, !result.closingNote.empty()) << result.output;
    return result;
}

RunResult runSorvil(const TempDir& tree, const std::vector<std::string>& arguments, RunOptions options) {
    return runSorvil(tree, tree.path(), arguments, options);
}

std::string samplesFolder() { return std::string(SORVIL_TEST_DATA) + "/../../samples"; }

bool exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

void makeFolder(const std::string& path) { std::filesystem::create_directories(path); }

void copyInto(const std::string& source, const std::string& target) { writeFile(target, readFile(source)); }

}  // namespace sorvil::test

// Starting the program: the POSIX side (program_run_windows.cpp has the other).
#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

namespace sorvil::test {

namespace {

namespace fs = std::filesystem;

constexpr unsigned HANG_SECONDS = 60;

void handToNobody(const std::string& path) {
    if (lchown(path.c_str(), NOBODY, NOBODY) != 0)
        ADD_FAILURE() << "cannot hand " << path << " to nobody: " << std::strerror(errno);
}

void handTreeToNobody(const std::string& root) {
    if (geteuid() != 0) return;
    handToNobody(root);
    for (const auto& entry : fs::recursive_directory_iterator(root)) handToNobody(entry.path());
}

// In the forked child: the user, limits and environment asked for, then the
// program. Never returns.
[[noreturn]] void startProgram(const std::string& program, const std::string& folder,
                               const std::vector<std::string>& arguments, const RunOptions& options, int outputHandle,
                               const std::string& errorPath) {
    int errors = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errors < 0 || dup2(outputHandle, 1) < 0 || dup2(errors, 2) < 0) _exit(120);
    close(outputHandle);
    // A group of its own: a run that hangs is ended with all it started.
    setpgid(0, 0);
    if (options.asOrdinaryUser && geteuid() == 0 && (setgid(NOBODY) != 0 || setuid(NOBODY) != 0)) _exit(121);
    if (options.fileSizeLimit) {
        signal(SIGXFSZ, SIG_IGN);  // stays ignored in the program: writes fail with EFBIG
        struct rlimit limit {options.fileSizeLimit, options.fileSizeLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(122);
    }
    if (chdir(folder.c_str()) != 0) _exit(123);
    unsetenv("DISPLAY");
    for (const std::string& setting : options.environment) {
        const size_t equals = setting.find('=');
        if (equals != std::string::npos) setenv(setting.substr(0, equals).c_str(), setting.c_str() + equals + 1, 1);
    }
    // Peak memory: a sanitized build must reuse freed blocks at once instead
    // of holding them back to catch late uses. Its leak check cannot work
    // under a tracer, which a wrapper may be.
    const char* given = getenv("ASAN_OPTIONS");
    std::string sanitizer = given ? given : "";
    if (options.measuringMemory) sanitizer += ":quarantine_size_mb=0";
    if (!options.wrapper.empty() && options.wrapper[0] == "strace") sanitizer += ":detect_leaks=0";
    setenv("ASAN_OPTIONS", sanitizer.c_str(), 1);
    alarm(HANG_SECONDS);  // survives exec; its signal ends the program
    const std::string binary = std::string(SORVIL_BINARY_DIR) + "/" + program;
    const std::string name = options.wrapper.empty() ? fs::path(program).filename().string() : binary;
    std::vector<char*> argv;
    for (const std::string& word : options.wrapper) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(const_cast<char*>(name.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    if (options.wrapper.empty())
        execv(binary.c_str(), argv.data());
    else
        execvp(argv[0], argv.data());
    _exit(CANNOT_START);
}

// The process named `name` among root and its descendants, from /proc; 0
// while there is none.
pid_t findProcess(pid_t root, const std::string& name) {
    std::map<pid_t, pid_t> parents;
    std::vector<pid_t> named;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator("/proc", ignored)) {
        const std::string stat = readFile(entry.path().string() + "/stat");
        // "pid (name) state parent ...": the name may hold spaces and ')'.
        const size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 > stat.size()) continue;
        const pid_t pid = std::atoi(stat.c_str());
        parents[pid] = std::atoi(stat.c_str() + close + 4);
        if (stat.compare(open + 1, close - open - 1, name) == 0) named.push_back(pid);
    }
    for (pid_t candidate : named)
        for (pid_t p = candidate; p > 1 && parents.count(p); p = parents[p])
            if (p == root) return candidate;
    return 0;
}

// Collects the child's standard output until it ends; sends the interrupt
// asked for on the way, and ends the whole group of a run that hangs.
std::string collectOutput(const std::string& program, int outputHandle, pid_t child, const RunOptions& options) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto interruptAt = start + std::chrono::milliseconds(options.interruptAfterMilliseconds);
    const auto hangAt = start + std::chrono::seconds(HANG_SECONDS + 5);
    bool interruptPending = options.interruptAfterMilliseconds > 0;
    // As /proc shows it: at most 15 bytes.
    const std::string name = fs::path(program).filename().string().substr(0, 15);
    std::string output;
    pollfd input{outputHandle, POLLIN, 0};
    for (;;) {
        if (poll(&input, 1, 20) > 0) {
            char buffer[4096];
            const ssize_t got = read(outputHandle, buffer, sizeof buffer);
            if (got <= 0) break;
            output.append(buffer, size_t(got));
        }
        const auto now = Clock::now();
        if (interruptPending && now >= interruptAt) {
            const pid_t target = options.wrapper.empty() ? child : findProcess(child, name);
            if (target > 0 && kill(target, SIGINT) == 0) interruptPending = false;
        }
        if (now >= hangAt) {
            kill(-child, SIGKILL);
            break;
        }
    }
    return output;
}

// The closing line is checked on its own (ClosingNote), so the expected
// console of every other test is the song lines alone.
void splitClosingNote(RunResult& result) {
    std::string& output = result.output;
    const size_t start = output.rfind('\n', output.size() >= 2 ? output.size() - 2 : 0);
    const size_t lineStart = start == std::string::npos ? 0 : start + 1;
    const std::string line = output.substr(lineStart);
    if (line.rfind("NOTE: ", 0) != 0 || line.size() < 8 || line.compare(line.size() - 8, 8, " failed\n") != 0) return;
    result.closingNote = line.substr(0, line.size() - 1);
    output.erase(lineStart);
}

}  // namespace

RunResult runProgram(const std::string& program, const TempDir& tree, const std::string& folder,
                     const std::vector<std::string>& arguments, RunOptions options) {
    // Standard output through a pipe, so a file-size limit does not cut it.
    TempDir capture;
    std::string errorPath = capture.file("stderr");
    if (options.asOrdinaryUser) handTreeToNobody(tree.path());
    int outputPipe[2];
    if (pipe(outputPipe) != 0) return {};
    pid_t child = fork();
    if (child == 0) {
        close(outputPipe[0]);
        startProgram(program, folder, arguments, options, outputPipe[1], errorPath);
    }
    close(outputPipe[1]);
    RunResult result;
    if (child > 0) result.output = collectOutput(program, outputPipe[0], child, options);
    close(outputPipe[0]);
    int status = 0;
    struct rusage usage {};
    if (child > 0 && wait4(child, &status, 0, &usage) == child && WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
        result.peakKilobytes = usage.ru_maxrss;
    }
    result.errors = readFile(errorPath);
    if (program == "sorvil") splitClosingNote(result);
    return result;
}

}  // namespace sorvil::test

#endif
