// Loading a song as a guarded mapping, and measuring it when the file is cut
// short between its mapping and its reading.
#include "app/song_measure.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

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

class LoadWholeFile : public ::testing::Test {
protected:
    void TearDown() override { fileToCutWhenMapped.clear(); }
    int load(const std::string& path) { return loadWholeFile(image, AT_FDCWD, path.c_str()); }
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
    const int handle = open(dir.file("sparse.mp3").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(pwrite(handle, bytes.data(), 70000, 1 << 20), 70000);
    ASSERT_EQ(ftruncate(handle, 3 << 20), 0);
    close(handle);
    ASSERT_EQ(load(dir.file("sparse.mp3")), 3 << 20);
    EXPECT_TRUE(loaded() == std::string(1 << 20, '\0') + bytes.substr(0, 70000) + std::string((2 << 20) - 70000, '\0'));
}

// A song cut short after it was mapped: reading the lost pages must not kill
// the process; the song is said not to load and the run is incomplete.
TEST_F(LoadWholeFile, SongCutShortWhileMappedIsAFailedLoadNotACrash) {
    TempDir dir;
    writeFile(dir.file("cut.mp3"), readFile(test::samplesFolder() + "/Aurora Lane/Track #2.mp3"));
    SongListRun run;
    fileToCutWhenMapped = dir.file("cut.mp3");
    testing::internal::CaptureStdout();
    const int seconds = measureSong(run, AT_FDCWD, dir.file("cut.mp3").c_str(), "cut.mp3", true);
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(seconds, 0);
    EXPECT_EQ(run.tally.failures, 1);
    EXPECT_EQ(output, "ERROR: Cannot load MP3 file cut.mp3\n");
}

}  // namespace
}  // namespace sorvil
