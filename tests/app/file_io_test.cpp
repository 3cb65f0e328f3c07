#include "app/file_io.h"

#include <allegro.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/command_line.h"
#include "app/run_in_process.h"
#include "support/program_run.h"
#include "support/temp_dir.h"

// The kernel advice the loader gives right after mapping a song, wrapped so
// that a test can cut the file short between its mapping and its reading.
namespace {
std::string fileToCutWhenMapped;
}

extern "C" int madvise(void* address, size_t length, int advice) noexcept {
    using Advise = int (*)(void*, size_t, int);
    static const auto libraryAdvise = reinterpret_cast<Advise>(dlsym(RTLD_NEXT, "madvise"));
    if (!fileToCutWhenMapped.empty() && truncate(fileToCutWhenMapped.c_str(), 100) != 0)
        ADD_FAILURE() << "cannot cut " << fileToCutWhenMapped << " short: " << std::strerror(errno);
    return libraryAdvise(address, length, advice);
}

namespace sorvil {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// Bytes that differ from position to position, so a copy that skips or
// repeats a block shows.
std::string patternBytes(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

int openHandleCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

TEST(CopyFile, CopiesEveryByteThroughManyBufferFulls) {
    TempDir dir;
    std::string bytes = patternBytes(16384 * 3 + 77);
    writeFile(dir.file("source.mp3"), bytes);
    int handlesBefore = openHandleCount();
    ASSERT_EQ(copyFile(dir.file("source.mp3").c_str(), dir.file("target.mp3").c_str()), 0);
    EXPECT_EQ(readFile(dir.file("target.mp3")), bytes);
    EXPECT_EQ(openHandleCount(), handlesBefore);
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

TEST(CopyFile, EmptySourceGivesEmptyTarget) {
    TempDir dir;
    writeFile(dir.file("empty.mp3"), "");
    ASSERT_EQ(copyFile(dir.file("empty.mp3").c_str(), dir.file("target.mp3").c_str()), 0);
    ASSERT_TRUE(exists(dir.file("target.mp3")));
    EXPECT_EQ(readFile(dir.file("target.mp3")), "");
}

TEST(CopyFile, ExistingTargetIsTruncatedAndOverwritten) {
    TempDir dir;
    writeFile(dir.file("source.mp3"), "short");
    writeFile(dir.file("target.mp3"), std::string(50000, 'z'));
    ASSERT_EQ(copyFile(dir.file("source.mp3").c_str(), dir.file("target.mp3").c_str()), 0);
    EXPECT_EQ(readFile(dir.file("target.mp3")), "short");
}

TEST(CopyFile, MissingSourceCreatesNoTarget) {
    TempDir dir;
    int handlesBefore = openHandleCount();
    EXPECT_EQ(copyFile(dir.file("missing.mp3").c_str(), dir.file("target.mp3").c_str()), -1);
    EXPECT_FALSE(exists(dir.file("target.mp3")));
    EXPECT_EQ(openHandleCount(), handlesBefore);
}

TEST(CopyFile, TargetThatCannotBeCreatedFailsAndClosesTheSource) {
    TempDir dir;
    writeFile(dir.file("source.mp3"), "abc");
    int handlesBefore = openHandleCount();
    EXPECT_EQ(copyFile(dir.file("source.mp3").c_str(), dir.file("no/such/target.mp3").c_str()), -1);
    EXPECT_EQ(openHandleCount(), handlesBefore);
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

class LoadWholeFile : public ::testing::Test {
protected:
    void TearDown() override {
        fileToCutWhenMapped.clear();
        releaseFileImage();
    }
};

TEST_F(LoadWholeFile, LoadsEveryByteAndGivesTheSize) {
    TempDir dir;
    std::string bytes = patternBytes(300000);
    writeFile(dir.file("song.mp3"), bytes);
    ASSERT_EQ(loadWholeFile(dir.file("song.mp3").c_str()), 300000);
    ASSERT_NE(fileImage, nullptr);
    EXPECT_EQ(std::memcmp(fileImage, bytes.data(), bytes.size()), 0);
}

TEST_F(LoadWholeFile, NamesWithHashAndSpacesLoadTheRealFile) {
    TempDir dir;
    writeFile(dir.file("Track #1.mp3"), "first");
    writeFile(dir.file("Track "), "not a datafile");  // the part before '#' exists
    ASSERT_EQ(mkdir(dir.file("Live ").c_str(), 0755), 0);
    writeFile(dir.file("Live #2 #b.mp3"), "second");
    ASSERT_EQ(loadWholeFile(dir.file("Track #1.mp3").c_str()), 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fileImage), 5), "first");
    ASSERT_EQ(loadWholeFile(dir.file("Live #2 #b.mp3").c_str()), 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fileImage), 6), "second");
}

TEST_F(LoadWholeFile, EmptyOrMissingFileFailsWithoutAnImage) {
    TempDir dir;
    writeFile(dir.file("song.mp3"), "abc");
    ASSERT_EQ(loadWholeFile(dir.file("song.mp3").c_str()), 3);
    writeFile(dir.file("empty.mp3"), "");
    EXPECT_EQ(loadWholeFile(dir.file("empty.mp3").c_str()), -1);
    EXPECT_EQ(fileImage, nullptr);  // the previous image was freed, no new one made
    EXPECT_EQ(loadWholeFile(dir.file("missing.mp3").c_str()), -1);
    EXPECT_EQ(fileImage, nullptr);
}

TEST_F(LoadWholeFile, SecondLoadReplacesTheFirstImage) {
    TempDir dir;
    writeFile(dir.file("a.mp3"), "aaaa");
    writeFile(dir.file("b.mp3"), "bb");
    ASSERT_EQ(loadWholeFile(dir.file("a.mp3").c_str()), 4);
    ASSERT_EQ(loadWholeFile(dir.file("b.mp3").c_str()), 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fileImage), 2), "bb");
}

// A song cut short after it was mapped: reading the lost pages must not kill
// the run; the song is reported as not loaded and the run ends with status 1.
TEST_F(LoadWholeFile, SongCutShortWhileMappedIsAFailedLoadNotACrash) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("A").c_str(), 0755), 0);
    writeFile(dir.file("A/cut.mp3"), readFile(test::samplesFolder() + "/Aurora Lane/Track #2.mp3"));
    CommandLine command;
    command.noCopy = true;
    command.folder = dir.path();
    const test::InProcessRun run = test::runInProcess(dir, command, [&] { fileToCutWhenMapped = dir.file("A/cut.mp3"); });
    EXPECT_EQ(run.status, 1) << "-1: the run died of a signal";
    EXPECT_NE(run.output.find("  cut: ERROR: Cannot load MP3 file cut.mp3\n00:00\n"), std::string::npos) << run.output;
    EXPECT_EQ(readFile(dir.file("songlist.ini")), "A|cut|cut.mp3|0\r\n");
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
