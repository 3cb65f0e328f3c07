#include "support/program_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace sorvil::test {

namespace {

namespace fs = std::filesystem;

constexpr unsigned HANG_SECONDS = 60;

void handTreeToNobody(const std::string& root) {
    if (geteuid() != 0) return;
    lchown(root.c_str(), NOBODY, NOBODY);
    for (const auto& entry : fs::recursive_directory_iterator(root)) lchown(entry.path().c_str(), NOBODY, NOBODY);
}

// In the forked child: the user, limits and environment asked for, then the
// program. Never returns.
[[noreturn]] void startProgram(const std::string& folder, const std::vector<std::string>& arguments,
                               const RunOptions& options, int outputHandle, const std::string& errorPath) {
    int errors = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errors < 0 || dup2(outputHandle, 1) < 0 || dup2(errors, 2) < 0) _exit(120);
    close(outputHandle);
    if (options.asOrdinaryUser && geteuid() == 0 && (setgid(NOBODY) != 0 || setuid(NOBODY) != 0)) _exit(121);
    if (options.fileSizeLimit) {
        signal(SIGXFSZ, SIG_IGN);  // stays ignored in the program: writes fail with EFBIG
        struct rlimit limit {options.fileSizeLimit, options.fileSizeLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(122);
    }
    if (chdir(folder.c_str()) != 0) _exit(123);
    unsetenv("DISPLAY");
    if (options.measuringMemory) {
        const char* given = getenv("ASAN_OPTIONS");
        std::string sanitizer = std::string(given ? given : "") + ":quarantine_size_mb=0";
        setenv("ASAN_OPTIONS", sanitizer.c_str(), 1);
    }
    alarm(HANG_SECONDS);  // survives exec; its signal ends the program
    std::string binary = std::string(SORVIL_BINARY_DIR) + "/" + options.program;
    std::vector<char*> argv{const_cast<char*>(options.program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(CANNOT_START);
}

}  // namespace

RunResult runSorvil(const TempDir& tree, const std::string& folder, const std::vector<std::string>& arguments,
                    RunOptions options) {
    // Standard output through a pipe, so a file-size limit does not cut it.
    TempDir capture;
    std::string errorPath = capture.file("stderr");
    if (options.asOrdinaryUser) handTreeToNobody(tree.path());
    int outputPipe[2];
    if (pipe(outputPipe) != 0) return {};
    pid_t child = fork();
    if (child == 0) {
        close(outputPipe[0]);
        startProgram(folder, arguments, options, outputPipe[1], errorPath);
    }
    close(outputPipe[1]);
    RunResult result;
    char buffer[4096];
    ssize_t got;
    while ((got = read(outputPipe[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, size_t(got));
    close(outputPipe[0]);
    int status = 0;
    struct rusage usage {};
    if (child > 0 && wait4(child, &status, 0, &usage) == child && WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
        result.peakKilobytes = usage.ru_maxrss;
    }
    result.errors = readFile(errorPath);
    EXPECT_EQ(result.errors, "") << "the program wrote to standard error";
    return result;
}

RunResult runSorvil(const TempDir& tree, const std::vector<std::string>& arguments, RunOptions options) {
    return runSorvil(tree, tree.path(), arguments, options);
}

std::string samplesFolder() { return std::string(SORVIL_TEST_DATA) + "/../../samples"; }

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

void makeFolder(const std::string& path) { fs::create_directories(path); }

void copyInto(const std::string& source, const std::string& target) { writeFile(target, readFile(source)); }

}  // namespace sorvil::test
