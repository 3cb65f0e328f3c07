// Measuring a song whose file is cut short between its mapping and its
// reading: the loader's kernel advice is wrapped (a POSIX library's symbol)
// to cut it at that moment.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "app/song_measure.h"
#include "support/program_run.h"
#include "support/temp_dir.h"

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

class SongCutWhenMapped : public ::testing::Test {
protected:
    void TearDown() override { fileToCutWhenMapped.clear(); }
};

// A song cut short after it was mapped: reading the lost pages must not kill
// the process; the song is said not to load and the run is incomplete.
TEST_F(SongCutWhenMapped, SongCutShortWhileMappedIsAFailedLoadNotACrash) {
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
