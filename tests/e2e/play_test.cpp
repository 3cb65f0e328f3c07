// sorvil-play through a real sound stack: a virtual X server (the library's
// timer and sound need one) and ALSA with its default device writing all the
// library's mixer plays to a file. What was played is compared with the PCM
// the decode tool gets from the same song.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "mp3stream/mp3stream.h"
#include "pcm_compare.h"
#include "pcm_decode.h"
#include "support/program_run.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

// Three seconds of a gliding tone, 44100 Hz stereo: the mixer's own rate, so
// samples come out one for one.
const char* const kSong = "streams/lame_sweep_44100_128.mp3";
constexpr int kChannels = 2;
// One audio buffer of sorvil-play: its frames, and its samples per channel.
constexpr int kBufferFrames = 8;
constexpr long long kBufferSamples = kBufferFrames * 1152;
constexpr double kMinimumSnr = 60.0;

bool installed(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null").c_str()) == 0;
}

// An address-checking build checks for leaks at exit: the sound library's
// own allocations are known to stay (see the suppressions), and telling them
// by their callers needs whole stacks.
const std::string kLeakSuppressions = std::filesystem::path(__FILE__).parent_path() / "sound_leaks.supp";

std::string sanitizerOption(const std::string& variable, const std::string& option) {
    const char* given = std::getenv(variable.c_str());
    return variable + "=" + (given ? given : "") + ":" + option;
}

// The lines of `text` that start with `program`'s name.
std::string linesOf(const std::string& text, const std::string& program) {
    std::istringstream lines(text);
    std::string kept;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(program + ":", 0) == 0) kept += line + "\n";
    return kept;
}

// The play tool's runs, in a folder that also serves as its HOME.
test::RunResult runPlay(const test::TempDir& home, const std::vector<std::string>& arguments,
                        bool virtualDisplay = false, int interruptAfterMilliseconds = 0) {
    test::RunOptions options;
    options.environment = {"HOME=" + home.path(), sanitizerOption("ASAN_OPTIONS", "fast_unwind_on_malloc=0"),
                           sanitizerOption("LSAN_OPTIONS", "suppressions=" + kLeakSuppressions)};
    options.interruptAfterMilliseconds = interruptAfterMilliseconds;
    // A display number of its own to start the search from: runs in parallel
    // would otherwise race for the same one.
    if (virtualDisplay) options.wrapper = {"xvfb-run", "-a", "-n", std::to_string(100 + getpid() % 20000)};
    return test::runProgram("tools/sorvil-play", home, home.path(), arguments, options);
}

// The song's first frames, as many as fill whole buffers of sorvil-play: its
// last sample is then the last of a buffer, and nothing the stream hands over
// after it but silence stands between it and the end of the program.
std::vector<uint8_t> cutToWholeBuffers(const std::vector<uint8_t>& image) {
    Mp3Stream* stream = mp3StreamCreate(image.data(), int(image.size()));
    const uint8_t *at = stream->dataStart, *end = at + stream->dataLength;
    FrameInfo frame{};
    for (int n = mp3StreamTotalFrames(stream) / kBufferFrames * kBufferFrames; n > 0; --n)
        if (framesChainAt(at, end, end, &frame)) at += 4 + frame.frameSize;
    mp3StreamDestroy(stream);
    return std::vector<uint8_t>(image.data(), at);
}

// Samples per channel at the start and end (one past) of what is not silence.
struct SoundSpan {
    long long first = 0;
    long long end = 0;
};

SoundSpan soundSpan(const std::vector<int16_t>& samples) {
    auto loud = [](int16_t s) { return s != 0; };
    const auto first = std::find_if(samples.begin(), samples.end(), loud);
    const auto last = std::find_if(samples.rbegin(), samples.rend(), loud);
    if (first == samples.end()) return {};
    return {(first - samples.begin()) / kChannels, (samples.rend() - last - 1) / kChannels + 1};
}

struct Match {
    double snr = INFINITY;  // dB, the worse channel
    double gain[kChannels] = {};
};

// How well the played samples from `start` (per channel) match the whole
// song, after one gain per channel (the mixer's pan law scales left and right
// slightly differently).
Match match(const std::vector<int16_t>& played, long long start, const std::vector<int16_t>& song) {
    const long long length = long(song.size()) / kChannels;
    auto playedAt = [&](long long n, int channel) {
        const long long i = (start + n) * kChannels + channel;
        return i >= 0 && i < long(played.size()) ? double(played[size_t(i)]) : 0.0;
    };
    auto songAt = [&](long long n, int channel) { return double(song[size_t(n * kChannels + channel)]); };
    Match result;
    for (int channel = 0; channel < kChannels; ++channel) {
        double cross = 0, power = 0;
        for (long long n = 0; n < length; ++n) {
            cross += playedAt(n, channel) * songAt(n, channel);
            power += songAt(n, channel) * songAt(n, channel);
        }
        const double gain = result.gain[channel] = cross / power;
        double noise = 0;
        for (long long n = 0; n < length; ++n) noise += std::pow(playedAt(n, channel) - gain * songAt(n, channel), 2);
        result.snr = std::min(result.snr, 10 * std::log10(gain * gain * power / std::max(noise, 1e-9)));
    }
    return result;
}

// Where the song starts in what was played: by the first sound, then to the
// sample by the comparison tool's search.
long long songStart(const std::vector<int16_t>& played, const std::vector<int16_t>& song) {
    const long long coarse = soundSpan(played).first - soundSpan(song).first;
    const long long from = std::max(0LL, coarse - 256);
    const std::vector<int16_t> tail(played.begin() + from * kChannels, played.end());
    CompareOptions options;
    options.maxOffset = 512;
    return from + comparePcm(tail, song, options).offset;
}

// The longest run of silent samples per channel within [from, to).
long long longestSilence(const std::vector<int16_t>& played, long long from, long long to) {
    long long run = 0, longest = 0;
    for (long long n = std::max(0LL, from); n < to && n * kChannels < long(played.size()); ++n) {
        const bool silent = played[size_t(n * kChannels)] == 0 && played[size_t(n * kChannels + 1)] == 0;
        run = silent ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

class Playback : public ::testing::Test {
protected:
    void SetUp() override {
        if (!installed("xvfb-run") || !installed("xauth"))
            GTEST_SKIP() << "xvfb-run or xauth not found (Debian packages xvfb and xauth): real playback not tested";
        test::writeFile(home.file(".asoundrc"), "pcm.!default { type file; slave.pcm \"null\"; file \"" +
                                                    home.file("played.raw") + "\"; format \"raw\" }\n");
        useSong(test::testDataBytes(kSong));
    }

    // The song played is compared with what the decode tool writes for it.
    void useSong(const std::vector<uint8_t>& image) {
        DecodedPcm decoded;
        ASSERT_TRUE(decodeThroughStream(image.data(), int(image.size()), &decoded));
        ASSERT_EQ(decoded.channels, kChannels);
        song = samplesFromBytes(decoded.bytes);
        songLength = long(song.size()) / kChannels;
    }

    // The mixer writes unsigned samples.
    std::vector<int16_t> played() const {
        const std::string bytes = test::readFile(home.file("played.raw"));
        std::vector<int16_t> samples = samplesFromBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        for (int16_t& s : samples) s = int16_t(uint16_t(s) ^ 0x8000);
        return samples;
    }

    test::TempDir home;
    std::vector<int16_t> song;
    long long songLength = 0;
};

// The device's own buffering is the last thing the song's end passes through:
// the program must not end before the device has played it.
TEST_F(Playback, PlaysTheWholeSongAsDecodedWithoutGaps) {
    const std::vector<uint8_t> image = cutToWholeBuffers(test::testDataBytes(kSong));
    test::writeFile(home.file("song.mp3"), std::string(image.begin(), image.end()));
    useSong(image);
    ASSERT_EQ(songLength % kBufferSamples, 0);
    const test::RunResult run = runPlay(home, {"song.mp3"}, true);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.output, "");
    const std::vector<int16_t> samples = played();
    const long long start = songStart(samples, song);
    const Match result = match(samples, start, song);
    const SoundSpan playedSound = soundSpan(samples), songSound = soundSpan(song);
    const long long silence = longestSilence(samples, start + songSound.first, start + songSound.end);
    std::printf("from sample %lld: SNR %.1f dB, gains %.4f %.4f, sound %lld samples (song %lld), silence %lld\n",
                start, result.snr, result.gain[0], result.gain[1], playedSound.end - start, songSound.end, silence);
    EXPECT_GE(result.snr, kMinimumSnr);
    EXPECT_EQ(playedSound.end - start, songSound.end) << "every sample up to the song's last";
    // The silence handed over after the song is played as well, at least a buffer of it.
    EXPECT_GE(long(samples.size()) / kChannels - start - songLength, kBufferSamples) << "silence after the song";
    EXPECT_LE(silence, kBufferSamples);
}

TEST_F(Playback, LoopPlaysTheSongAgainUntilInterrupted) {
    // The song's length twice, and a second for the start.
    const int interruptAfter = int(2 * songLength * 1000 / 44100) + 1000;
    const test::RunResult run = runPlay(home, {"--loop", test::testData(kSong)}, true, interruptAfter);
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::vector<int16_t> samples = played();
    const long long start = songStart(samples, song);
    const double first = match(samples, start, song).snr;
    const double again = match(samples, start + songLength, song).snr;
    std::printf("from sample %lld: SNR %.1f dB, again %.1f dB\n", start, first, again);
    EXPECT_GE(first, kMinimumSnr);
    EXPECT_GE(again, kMinimumSnr) << "the second time round follows the first without a gap";
}

TEST_F(Playback, StopsWithAnErrorWhereNoiseInsideTheSongLosesTheStream) {
    test::writeFile(home.file("broken.mp3"), test::testDataWithNoiseInside(kSong, 20'000));
    const std::vector<std::string> once = {"broken.mp3"}, looping = {"--loop", "broken.mp3"};
    for (const auto* arguments : {&once, &looping}) {
        const test::RunResult run = runPlay(home, *arguments, true);
        EXPECT_EQ(run.status, 1) << arguments->front();
        EXPECT_EQ(run.errors.rfind("sorvil-play: lost synchronisation at byte ", 0), 0u) << run.errors;
    }
}

TEST_F(Playback, SaysSoWhenThereIsNoSoundDevice) {
    test::writeFile(home.file(".asoundrc"), "pcm.!default { type hw; card 7 }\n");
    const test::RunResult run = runPlay(home, {test::testData(kSong)}, true);
    EXPECT_EQ(run.status, 1);
    // Only the tool's own lines: the virtual display's wrapper may add its own.
    EXPECT_EQ(linesOf(run.errors, "sorvil-play"), "sorvil-play: no sound device\n") << run.errors;
}

// A stopped X server takes connections but never answers: the library's
// start-up waits on it for ever, and an interrupt must still end the program.
TEST(PlayTool, AnInterruptEndsItWhileTheDisplayDoesNotAnswer) {
    if (!installed("Xvfb")) GTEST_SKIP() << "Xvfb not found (Debian package xvfb)";
    test::TempDir home;
    const char* stoppedDisplay = "Xvfb -displayfd 4 -nolisten tcp 4>display 2>/dev/null & x=$!\n"
                                 "until [ -s display ]; do sleep 0.05; done; kill -STOP $x\n"
                                 "DISPLAY=:$(cat display) \"$0\" \"$@\"; s=$?; kill -CONT $x; kill $x; exit $s\n";
    const test::RunOptions options{.wrapper = {"sh", "-c", stoppedDisplay}, .interruptAfterMilliseconds = 1500};
    const auto start = std::chrono::steady_clock::now();
    const test::RunResult run =
        test::runProgram("tools/sorvil-play", home, home.path(), {test::testData(kSong)}, options);
    EXPECT_EQ(run.status, 0) << run.errors;
    // Well within the minute after which a run counts as hung, with room for a slow start of the server.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4000));
}

TEST(PlayTool, SaysWhyItCannotPlay) {
    test::TempDir home;
    test::RunResult run = runPlay(home, {"a.mp3", "--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output.rfind("Usage: sorvil-play [--loop] FILE\n", 0), 0u) << run.output;

    const char* usage = "Usage: sorvil-play [--loop] FILE   (sorvil-play --help tells more)\n";
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--fast", "a.mp3"}, "unknown option '--fast'"},
        {{"--loop"}, "FILE is needed"},
        {{"a", "b"}, "too many arguments"}};
    for (const auto& [arguments, problem] : refused) {
        run = runPlay(home, arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.errors, "sorvil-play: " + problem + "\n" + usage);
    }
    run = runPlay(home, {"missing.mp3"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "sorvil-play: cannot read missing.mp3: No such file or directory\n");
    const std::string huge = home.file("huge.mp3");  // a hole of 1 GiB and a byte: nothing to read
    test::writeFile(huge, "");
    ASSERT_EQ(truncate(huge.c_str(), (off_t(1) << 30) + 1), 0);
    run = runPlay(home, {huge});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "sorvil-play: " + huge + " is larger than 1 GiB, the largest song taken\n");
    run = runPlay(home, {test::testData("iso/l2-fl10.pcm")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("no MPEG audio stream found"), std::string::npos) << run.errors;
    // A song it could play, but no display: one line, no crash, no hang.
    run = runPlay(home, {test::testData(kSong)});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors.rfind("sorvil-play: no display", 0), 0u) << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
}

}  // namespace
}  // namespace sorvil
