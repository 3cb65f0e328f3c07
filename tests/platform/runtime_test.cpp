#include "platform/runtime.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>

#include "platform/file_copy.h"
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

// Reads at an offset: whole, fewer at the end, none past it.
TEST(RuntimeReadAt, ReadsTheBytesAtTheOffsetFewerOnlyAtTheEnd) {
    TempDir dir;
    test::writeFile(dir.file("data.bin"), "0123456789");
    const int folder = runtime::openFolder(kCurrentFolder, dir.path().c_str());
    const runtime::OpenedFile file = runtime::openForReading(folder, "data.bin");
    ASSERT_GE(file.handle, 0);
    for (const auto& [offset, count, expected] : {std::tuple{0u, 4u, "0123"}, {6u, 3u, "678"}, {7u, 8u, "789"},
                                                  {10u, 2u, ""}, {12u, 2u, ""}}) {
        char buffer[16] = {};
        EXPECT_EQ(runtime::readAt(file.handle, offset, buffer, count), (long long)std::strlen(expected)) << offset;
        EXPECT_STREQ(buffer, expected) << offset;
    }
    EXPECT_EQ(runtime::closeFile(file.handle), 0);
    runtime::closeFolder(folder);
}

}  // namespace
}  // namespace sorvil
