#include "platform/runtime.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/temp_dir.h"

namespace sorvil {
namespace {

using test::readFile;
using test::TempDir;

TEST(RuntimeFopen, TextModeStoresEveryNewlineAsCrLf) {
    TempDir dir;
    std::string path = dir.file("text.txt");
    for (const char* mode : {"wt", "w"}) {
        std::FILE* file = runtime::fopen(path.c_str(), mode);
        ASSERT_NE(file, nullptr) << mode;
        EXPECT_NE(std::fputs("one\ntwo\n", file), EOF);
        EXPECT_NE(std::fputc('\n', file), EOF);
        std::fprintf(file, "%s|%d\n", "x", 7);
        EXPECT_EQ(std::fclose(file), 0);
        EXPECT_EQ(readFile(path), "one\r\ntwo\r\n\r\nx|7\r\n") << mode;
    }
}

TEST(RuntimeFopen, TextAppendAddsToTheEnd) {
    TempDir dir;
    std::string path = dir.file("text.txt");
    test::writeFile(path, "start\r\n");
    std::FILE* file = runtime::fopen(path.c_str(), "at");
    ASSERT_NE(file, nullptr);
    std::fputs("more\n", file);
    EXPECT_EQ(std::fclose(file), 0);
    EXPECT_EQ(readFile(path), "start\r\nmore\r\n");
}

TEST(RuntimeFopen, BinaryModeWritesBytesUnchangedAndReadingIsUnchanged) {
    TempDir dir;
    std::string path = dir.file("data.bin");
    std::FILE* file = runtime::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("a\nb\r\n", file);
    EXPECT_EQ(std::fclose(file), 0);
    EXPECT_EQ(readFile(path), "a\nb\r\n");
    file = runtime::fopen(path.c_str(), "rt");
    ASSERT_NE(file, nullptr);
    char buffer[16] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, file), 5u);
    std::fclose(file);
    EXPECT_EQ(std::string(buffer), "a\nb\r\n");
}

TEST(RuntimeFopen, FailsForAFolderOrAMissingFolder) {
    TempDir dir;
    EXPECT_EQ(runtime::fopen(dir.path().c_str(), "wt"), nullptr);
    EXPECT_EQ(runtime::fopen(dir.file("missing/x").c_str(), "wt"), nullptr);
    EXPECT_EQ(runtime::fopen(dir.file("missing/x").c_str(), "wb"), nullptr);
}

TEST(RuntimeFiles, OpenReadWriteCloseAndRemove) {
    using namespace runtime;
    TempDir dir;
    std::string path = dir.file("file.bin");
    mode_t previous = umask(0);
    int handle = _open(path.c_str(), OPEN_READ_WRITE | OPEN_BINARY | OPEN_CREATE | OPEN_TRUNCATE,
                       PERMISSION_READ | PERMISSION_WRITE);
    umask(previous);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(_write(handle, "abc\n", 4), 4);
    EXPECT_EQ(_close(handle), 0);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u);

    handle = _open(path.c_str(), OPEN_READ_ONLY | OPEN_BINARY);
    ASSERT_GE(handle, 0);
    char buffer[8];
    EXPECT_EQ(_read(handle, buffer, sizeof buffer), 4);
    EXPECT_EQ(_read(handle, buffer, sizeof buffer), 0);
    EXPECT_EQ(_write(handle, "x", 1), -1);  // opened for reading only
    EXPECT_EQ(_close(handle), 0);

    EXPECT_EQ(runtime::remove(path.c_str()), 0);
    EXPECT_EQ(runtime::remove(path.c_str()), -1);
    EXPECT_EQ(_open(path.c_str(), OPEN_READ_ONLY), -1);
}

TEST(RuntimeFolders, MakeEnterAndFindTheCurrentFolder) {
    using namespace runtime;
    TempDir dir;
    char* start = _getcwd(nullptr, 0);
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(_mkdir(dir.file("made").c_str()), 0);
    EXPECT_EQ(_mkdir(dir.file("made").c_str()), -1);
    ASSERT_EQ(_chdir(dir.file("made").c_str()), 0);
    char here[4096];
    ASSERT_NE(_getcwd(here, sizeof here), nullptr);
    EXPECT_EQ(std::string(here), dir.file("made"));
    EXPECT_EQ(_chdir(".."), 0);
    EXPECT_EQ(_chdir("no such folder"), -1);
    EXPECT_EQ(_chdir(start), 0);
    std::free(start);
}

}  // namespace
}  // namespace sorvil
