// sorvil-play [--loop] FILE
// Plays an MP3 file through a library audio stream, the way the MP3 stream is
// meant to be played: the stream decoding loop runs on the library's timer
// thread (auto-polling) and fills the audio stream's buffers, while the main
// thread only waits for the end of the song, or for SIGINT or SIGTERM, and
// then stops and destroys everything. With --loop the song starts over at its
// end until a signal comes. Needs a display (an X server) and a sound device.
#include <signal.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "mp3stream/mp3stream.h"
#include "mp3stream/stream_poll.h"
#include "pcm_compare.h"
#include "platform/allegro_audio_output.h"
#include "platform/runtime.h"
#include "platform/sound_system.h"

namespace sorvil {
namespace {

const char PROGRAM[] = "sorvil-play";

const char USAGE[] = "Usage: sorvil-play [--loop] FILE   (sorvil-play --help tells more)\n";

const char HELP[] =
    "Usage: sorvil-play [--loop] FILE\n"
    "  or:  sorvil-play -h | --help | --version\n"
    "\n"
    "Plays the MP3 file FILE (MPEG audio layer II or III) through the sound card\n"
    "to its end. Ctrl-C (SIGINT) or SIGTERM stops it. Mono songs play in the\n"
    "middle. Needs an X display and a sound device.\n"
    "\n"
    "  --loop      start over at the end of the song, until stopped\n"
    "  -h, --help  print this help and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0  played to the end, or stopped\n"
    "  1  FILE cannot be read or holds no MPEG audio stream, or there is no\n"
    "     display or sound device\n"
    "  2  bad command line\n";

// Frames per audio buffer: about 0.2 s at 44.1 kHz. The library's stream
// plays one buffer while the timer thread refills the other, so a late poll
// has that long before a buffer plays twice; a device that takes samples
// faster than real time shortens it (ALSA's file device over its null device,
// as in the tests, takes them about 2.3 times as fast here).
constexpr int kBufferFrames = 8;
constexpr int kPollMilliseconds = 10;
// How often the main thread looks whether the poll has stopped the stream.
constexpr long kEndCheckNanoseconds = 20'000'000;

struct Options {
    bool loop = false;
    std::string file;
};

// Every option must be known and there must be exactly one FILE; false with
// the problem otherwise.
bool parsePlayCommandLine(int argc, char** argv, Options* options, std::string* problem) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--loop") {
            options->loop = true;
        } else if (isOption(word)) {
            *problem = "unknown option '" + word + "'";
            return false;
        } else {
            files.push_back(word);
        }
    }
    if (files.size() != 1) {
        *problem = files.empty() ? "FILE is needed" : "too many arguments";
        return false;
    }
    options->file = files[0];
    return true;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", PROGRAM, message.c_str());
    return 1;
}

// SIGINT and SIGTERM are blocked before the library starts its threads, which
// inherit the mask, so they stay pending until the main thread takes them.
sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

bool loadSong(const std::string& path, std::vector<uint8_t>* image, std::string* error) {
    // A folder, pipe or device is no song, and reading one may never end.
    errno = 0;
    if (!runtime::isRegularFile(path.c_str())) {
        *error = "cannot read " + path + ": " + (errno ? std::strerror(errno) : "not a plain file");
        return false;
    }
    if (!readBinaryFile(path, image)) {
        *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    if (image->size() > size_t(INT_MAX)) {
        *error = path + " is too large to load";
        return false;
    }
    return true;
}

// What starting playback means for the decoding loop: an audio stream whose
// buffers hold bufferFrames decoded frames, the loop flags cleared, and the
// timer callback registered with the stream as its parameter.
bool startAutoPolledPlayback(Mp3Stream* stream, AllegroAudioOutput* output, bool loop) {
    mp3StreamStartPlayback(stream, output, kBufferFrames, loop);
    stream->autoPolling = STREAM_TRUE;
    // Everything above is written before the timer thread first reads it:
    // installing the callback takes the lock the timer thread calls it under.
    return installTimerCallback(pollTimerCallback, stream, kPollMilliseconds);
}

// Returns when the poll has stopped the stream (the song ended, or no frame
// could be found any more) or a stop signal came.
void waitForTheEnd(const AllegroAudioOutput& output, const sigset_t& signals) {
    const timespec period{0, kEndCheckNanoseconds};
    while (!output.stopped()) {
        if (sigtimedwait(&signals, nullptr, &period) > 0) return;
    }
}

int play(const Options& options) {
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::vector<uint8_t> image;
    std::string error;
    if (!loadSong(options.file, &image, &error)) return fail(error);
    Mp3Stream* stream = image.empty() ? nullptr : mp3StreamCreate(image.data(), int(image.size()));
    if (!stream) return fail("no MPEG audio stream found in " + options.file);

    // Checked after the song: a file that cannot be played says so even
    // where there is no sound.
    std::string reason;
    if (!startSoundSystem(&reason)) {
        mp3StreamDestroy(stream);
        return fail(reason);
    }
    // A mono song plays as a mono audio stream (the library's mixer puts it
    // in the middle): its buffers then hold exactly the decoder's samples.
    const int channels = stream->stereo ? 2 : 1;
    const int samplesPerBuffer = stream->outBytesPerFrame * kBufferFrames / (2 * channels);
    AllegroAudioOutput output(playAudioStream(samplesPerBuffer, channels == 2, stream->sampleRate));
    if (output.stopped()) {
        mp3StreamDestroy(stream);
        return fail("cannot open an audio stream at " + std::to_string(stream->sampleRate) + " Hz");
    }
    if (!startAutoPolledPlayback(stream, &output, options.loop)) {
        stream->autoPolling = STREAM_FALSE;
        mp3StreamDestroy(stream);
        return fail("cannot install the timer callback");
    }
    waitForTheEnd(output, signals);
    // mp3StreamStop removes the timer callback and waits for a poll under way
    // before it looks at the stream, then stops the audio stream if the poll
    // has not already.
    mp3StreamDestroy(stream);
    return 0;
}

}  // namespace
}  // namespace sorvil

int main(int argc, char** argv) {
    int status = 0;
    if (sorvil::answeredHelpOrVersion(argc, argv, sorvil::PROGRAM, sorvil::HELP, &status)) return status;
    sorvil::Options options;
    std::string problem;
    if (!sorvil::parsePlayCommandLine(argc, argv, &options, &problem))
        return sorvil::refuseCommandLine(sorvil::PROGRAM, problem, sorvil::USAGE);
    return sorvil::play(options);
}
