// What only a POSIX system shows of a copy: permissions by the umask, a
// file-size limit, descriptors, pipes and nanosecond times.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/file_copy.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

using test::patternBytes;
using test::readFile;
using test::TempDir;
using test::writeFile;

bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// Like cp: an ordinary file for every user, as far as the umask allows.
TEST(CopyFile, TargetIsCreatedWithReadAndWritePermissionFilteredByTheUmask) {
    TempDir dir;
    writeFile(dir.file("source.mp3"), "abc");
    mode_t previous = umask(027);
    int result = copyFile(dir.file("source.mp3").c_str(), dir.file("target.mp3").c_str());
    umask(previous);
    ASSERT_EQ(result, 0);
    struct stat info {};
    ASSERT_EQ(stat(dir.file("target.mp3").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

// A file-size limit makes write() really fail part way (SIGXFSZ ignored turns
// the signal into an EFBIG error). It runs in a child so the limit stays there.
TEST(CopyFile, FailedWriteRemovesThePartialTarget) {
    TempDir dir;
    writeFile(dir.file("source.mp3"), patternBytes(100000));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {40000, 40000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
        int result = copyFile(dir.file("source.mp3").c_str(), dir.file("target.mp3").c_str());
        _exit(result == -1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "copyFile did not report the failed write";
    EXPECT_FALSE(exists(dir.file("target.mp3"))) << "a partial copy was left behind";
    EXPECT_FALSE(exists(dir.file(".target.mp3.partial"))) << "the copy's temporary file was left behind";
}

TEST(CopyFileData, CopiesFromHandleToHandleUntilEndOfSource) {
    TempDir dir;
    std::string bytes = patternBytes(20000);
    writeFile(dir.file("source"), bytes);
    FILE* source = fopen(dir.file("source").c_str(), "rb");
    FILE* target = fopen(dir.file("target").c_str(), "wb");
    ASSERT_TRUE(source && target);
    EXPECT_EQ(copyFileData(fileno(source), fileno(target)), 0);
    fclose(source);
    fclose(target);
    EXPECT_EQ(readFile(dir.file("target")), bytes);
}

TEST(CopyFileData, ReadErrorFails) {
    TempDir dir;
    FILE* target = fopen(dir.file("target").c_str(), "wb");
    ASSERT_TRUE(target);
    int folder = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);  // read() on it fails
    ASSERT_GE(folder, 0);
    EXPECT_EQ(copyFileData(folder, fileno(target)), -1);
    close(folder);
    fclose(target);
}

// The kernel copies between files; from a pipe it refuses and the buffer
// loop takes over. Both give the same bytes, and a copy carries its
// source's modification time.
TEST(CopyFileData, KernelAndBufferPathsGiveTheSameBytes) {
    TempDir dir;
    const std::string bytes = patternBytes(100000);
    writeFile(dir.file("source.mp3"), bytes);
    const struct timespec old[2] = {{1000000000, 0}, {1000000000, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, dir.file("source.mp3").c_str(), old, 0), 0);
    ASSERT_EQ(copyFile(dir.file("source.mp3").c_str(), dir.file("kernel.mp3").c_str()), 0);
    EXPECT_EQ(readFile(dir.file("kernel.mp3")), bytes);
    struct stat copied {};
    ASSERT_EQ(stat(dir.file("kernel.mp3").c_str(), &copied), 0);
    EXPECT_EQ(copied.st_mtim.tv_nsec, 123456789);

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        close(pipeEnds[0]);
        _exit(write(pipeEnds[1], bytes.data(), bytes.size()) == ssize_t(bytes.size()) ? 0 : 1);
    }
    close(pipeEnds[1]);
    int target = open(dir.file("buffered.mp3").c_str(), O_WRONLY | O_CREAT, 0644);
    EXPECT_EQ(copyFileData(pipeEnds[0], target), 0);
    close(target);
    close(pipeEnds[0]);
    waitpid(writer, nullptr, 0);
    EXPECT_EQ(readFile(dir.file("buffered.mp3")), bytes);
}

}  // namespace
}  // namespace sorvil
