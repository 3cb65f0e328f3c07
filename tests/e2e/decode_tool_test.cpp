// The sorvil-decode tool as a user runs it: a long stream is written out as
// it is decoded, in memory bounded by the input's size, standard output
// takes raw PCM or a WAV stream, and an input cut short, endless or
// without synchronisation, or OUT naming IN, ends its run with a message.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "pcm_decode.h"
#include "support/program_run.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

const char* const kSong = "encoded/l3_mpeg1_44100_joint_128k.mp3";  // 1.5 s

test::RunResult runDecodeTool(const test::TempDir& dir, const std::vector<std::string>& arguments,
                              std::vector<std::string> environment = {}, std::vector<std::string> wrapper = {}) {
    test::RunOptions options{.measuringMemory = true, .wrapper = wrapper, .environment = environment};
    return test::runProgram("tools/sorvil-decode", dir, dir.path(), arguments, options);
}

uint32_t littleEndian32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | uint8_t(bytes[at + size_t(i)]);
    return value;
}

// The song's PCM as the stream gives it, decoded in this process.
size_t songPcmBytes() {
    const std::vector<uint8_t> image = test::testDataBytes(kSong);
    DecodedPcm pcm;
    EXPECT_TRUE(decodeThroughStream(image.data(), int(image.size()), &pcm));
    return pcm.bytes.size();
}

// Writes the song `copies` times over into path; returns the file's size.
// The copies are gone from this process before the tool runs, as a child's
// peak memory counts what its parent held when it started.
size_t writeRepeatedSong(const std::string& path, int copies) {
    const std::string song = test::readFile(test::testData(kSong));
    std::string stream;
    for (int i = 0; i < copies; ++i) stream += song;
    test::writeFile(path, stream);
    return stream.size();
}

TEST(DecodeTool, LongStreamIsWrittenWholeInMemoryBoundedByTheInput) {
    constexpr int kCopies = 400;  // 10 minutes of audio, 109 MB of PCM
    test::TempDir dir;
    [[maybe_unused]] const size_t streamBytes = writeRepeatedSong(dir.file("long.mp3"), kCopies);

    const test::RunResult run = runDecodeTool(dir, {"long.mp3", "long.wav"});
    ASSERT_EQ(run.status, 0);
    RecordProperty("peakKilobytes", int(run.peakKilobytes));
    const size_t wavBytes = std::filesystem::file_size(dir.file("long.wav"));
    EXPECT_EQ(wavBytes, 44 + kCopies * songPcmBytes());
    std::string header(44, '\0');
    std::ifstream(dir.file("long.wav"), std::ios::binary).read(header.data(), 44);
    EXPECT_EQ(littleEndian32(header, 4), wavBytes - 8);
    EXPECT_EQ(littleEndian32(header, 40), wavBytes - 44);
#if !defined(SORVIL_SANITIZE) && !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(run.peakKilobytes, long(streamBytes / 1024) + 16 * 1024);
#endif
}

TEST(DecodeTool, StandardOutputTakesRawPcmOrAWavStreamOfUnknownSize) {
    test::TempDir dir;
    test::writeFile(dir.file("song.mp3"), test::readFile(test::testData(kSong)));
    ASSERT_EQ(runDecodeTool(dir, {"song.mp3", "song.pcm"}).status, 0);
    const std::string pcm = test::readFile(dir.file("song.pcm"));
    EXPECT_EQ(pcm.size(), songPcmBytes());

    const test::RunResult raw = runDecodeTool(dir, {"song.mp3", "-"});
    EXPECT_EQ(raw.status, 0);
    EXPECT_TRUE(raw.output == pcm);
    const test::RunResult wav = runDecodeTool(dir, {"--wav", "song.mp3", "-"});
    EXPECT_EQ(wav.status, 0);
    ASSERT_EQ(wav.output.size(), 44 + pcm.size());
    EXPECT_EQ(wav.output.substr(0, 4), "RIFF");
    EXPECT_EQ(littleEndian32(wav.output, 4), 0xFFFFFFFFu);
    EXPECT_EQ(littleEndian32(wav.output, 40), 0xFFFFFFFFu);
    EXPECT_TRUE(wav.output.substr(44) == pcm);
    // Standard output handed over as a file after another writer's bytes: they stay.
    const std::vector<std::string> keepFirst = {"sh", "-c", "{ echo KEEP; exec \"$0\" \"$@\"; } >f"};
    EXPECT_EQ(runDecodeTool(dir, {"--wav", "song.mp3", "-"}, {}, keepFirst).status, 0);
    EXPECT_TRUE(test::readFile(dir.file("f")) == "KEEP\n" + wav.output);
}

// OUT naming IN's file (opening it would wipe the input), an endless input
// (a smaller limit than 1 GiB here) and noise longer than the search for the
// next frame end the run at once. The noise goes in at byte 8219, inside the
// frame at 7941, so the next header, due at 8359, is noise in either mode.
TEST(DecodeTool, StopsWithAMessageWhereItCannotGoOn) {
    test::TempDir dir;
    const std::string song = test::readFile(test::testData(kSong));
    std::filesystem::create_symlink("song.mp3", dir.file("link.mp3"));
    test::writeFile(dir.file("broken.mp3"), test::testDataWithNoiseInside(kSong, 20'000));
    const std::string sameFile = "sorvil-decode: OUT is the same file as IN\n";
    const std::string lostSync = "sorvil-decode: lost synchronisation at byte 8359\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"song.mp3", "song.mp3"}, sameFile},
        {{"--frames", "song.mp3", "./song.mp3"}, sameFile},
        {{"--wav", "link.mp3", "song.mp3"}, sameFile},
        {{"/dev/zero", "x.pcm"}, "sorvil-decode: /dev/zero is larger than 1000000 bytes, the largest song taken\n"},
        {{"broken.mp3", "x.pcm"}, lostSync},
        {{"--frames", "broken.mp3", "x.pcm"}, lostSync},
    };
    for (const auto& [arguments, errorsStart] : cases) {
        test::writeFile(dir.file("song.mp3"), song);
        const test::RunResult run = runDecodeTool(dir, arguments, {"SORVIL_DECODE_LARGEST_INPUT=1000000"});
        EXPECT_EQ(run.status, errorsStart == sameFile ? 2 : 1) << arguments.front();
        EXPECT_EQ(run.errors.substr(0, errorsStart.size()), errorsStart);
        EXPECT_TRUE(test::readFile(dir.file("song.mp3")) == song) << "the input was written over";
    }
}

// The tool works over the input file's image in place; a file cut short
// while it is decoded ends the run with a message and status 1, not a crash.
TEST(DecodeTool, InputCutShortWhileDecodedEndsTheRunWithAMessage) {
    test::TempDir dir;
    const std::string input = dir.file("long.mp3");
    writeRepeatedSong(input, 100);  // 150 s of audio
    int output[2];
    int errors[2];
    ASSERT_EQ(pipe(output), 0);
    ASSERT_EQ(pipe(errors), 0);
    const std::string program = std::string(SORVIL_BINARY_DIR) + "/tools/sorvil-decode";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(output[1], STDOUT_FILENO);
        dup2(errors[1], STDERR_FILENO);
        execl(program.c_str(), "sorvil-decode", input.c_str(), "-", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(output[1]);
    close(errors[1]);
    // Once the pipe is full the tool waits, early in the stream: the file is
    // cut while it waits, and the rest of its output is drained after.
    char buffer[65536];
    ASSERT_GT(read(output[0], buffer, 1), 0);
    ASSERT_EQ(truncate(input.c_str(), 0), 0);
    size_t drained = 1;
    for (ssize_t n; (n = read(output[0], buffer, sizeof buffer)) > 0;) drained += size_t(n);
    std::string message;
    for (ssize_t n; (n = read(errors[0], buffer, sizeof buffer)) > 0;) message.append(buffer, size_t(n));
    close(output[0]);
    close(errors[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(message, "sorvil-decode: " + input + " changed while it was being read\n");
    EXPECT_LT(drained, 100 * songPcmBytes());
}

}  // namespace
}  // namespace sorvil
