// Loading a song whole (song_measure_posix_test.cpp cuts one short between
// its mapping and its reading).
#include "app/song_measure.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_copy.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

class LoadWholeFile : public ::testing::Test {
protected:
    int load(const std::string& path) { return loadWholeFile(image, kCurrentFolder, path.c_str()); }
    std::string loaded() const { return std::string(reinterpret_cast<const char*>(image.data()), image.size()); }
    GuardedMapping image;
};

// Names with '#' and spaces are the real files, not datafile members; a
// second load replaces the first image; an empty or missing file leaves none.
TEST_F(LoadWholeFile, LoadsTheNamedFileWholeAndLeavesNoImageWhenItCannot) {
    TempDir dir;
    const std::string bytes(300000, 'x');
    writeFile(dir.file("Track #1.mp3"), bytes);
    writeFile(dir.file("Track "), "not a datafile");  // the part before '#' exists
    writeFile(dir.file("Live #2 #b.mp3"), "second");
    writeFile(dir.file("empty.mp3"), "");
    ASSERT_EQ(load(dir.file("Track #1.mp3")), 300000);
    EXPECT_EQ(loaded(), bytes);
    ASSERT_EQ(load(dir.file("Live #2 #b.mp3")), 6);
    EXPECT_EQ(loaded(), "second");
    EXPECT_EQ(load(dir.file("empty.mp3")), -1);
    EXPECT_EQ(errno, 0) << "an empty song is no failure of the run";
    EXPECT_EQ(image.data(), nullptr);
    EXPECT_EQ(load(dir.file("missing.mp3")), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(image.data(), nullptr);

    // A sparse file's holes (its data starts and ends inside pages) are zeros.
    writeFile(dir.file("sparse.mp3"), "");
    std::filesystem::resize_file(dir.file("sparse.mp3"), 3 << 20);
    std::fstream sparse(dir.file("sparse.mp3"), std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(sparse.seekp(1 << 20).write(bytes.data(), 70000).flush());
    sparse.close();
    ASSERT_EQ(load(dir.file("sparse.mp3")), 3 << 20);
    EXPECT_TRUE(loaded() == std::string(1 << 20, '\0') + bytes.substr(0, 70000) + std::string((2 << 20) - 70000, '\0'));
}

}  // namespace
}  // namespace sorvil
