#include "platform/file_copy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/open_handles.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

using test::openHandleCount;
using test::patternBytes;
using test::readFile;
using test::TempDir;
using test::writeFile;

bool exists(const std::string& path) { return std::filesystem::exists(path); }

TEST(CopyFile, CopiesEveryByteThroughManyBufferFulls) {
    TempDir dir;
    std::string bytes = patternBytes(16384 * 3 + 77);
    writeFile(dir.file("source.mp3"), bytes);
    int handlesBefore = openHandleCount();
    ASSERT_EQ(copyFile(dir.file("source.mp3").c_str(), dir.file("target.mp3").c_str()), 0);
    EXPECT_EQ(readFile(dir.file("target.mp3")), bytes);
    EXPECT_EQ(openHandleCount(), handlesBefore);
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

}  // namespace
}  // namespace sorvil
