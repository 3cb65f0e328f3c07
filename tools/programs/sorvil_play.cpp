// sorvil-play [--loop] FILE
// Plays an MP3 file through a library audio stream, the way the MP3 stream is
// meant to be played: the stream decoding loop runs on the library's timer
// thread (auto-polling) and fills the audio stream's buffers, while the main
// thread only waits for the end of the song, or for a stop request (Ctrl-C,
// SIGTERM), and then stops and destroys everything; after the end of the song
// it also waits until the sound device has played all of it. With --loop the
// song starts over at its end until a stop is asked for. Needs a display (an
// X server) and a sound device.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "input_image.h"
#include "mp3stream/mp3stream.h"
#include "mp3stream/player/stream_poll.h"
#include "pcm_compare.h"
#include "platform/allegro_audio_output.h"
#include "platform/file_copy.h"
#include "platform/file_status.h"
#include "platform/runtime.h"
#include "platform/sound_system.h"
#include "platform/stop_request.h"

namespace sorvil {
namespace {

const char PROGRAM[] = "sorvil-play";

const char USAGE[] = "Usage: sorvil-play [--loop] FILE   (sorvil-play --help tells more)\n";

const char HELP[] =
    "Usage: sorvil-play [--loop] FILE\n"
    "  or:  sorvil-play -h | --help | --version\n"
    "\n"
    "Plays the MP3 file FILE (MPEG audio layer II or III) through the sound card\n"
    "to its end. Ctrl-C (SIGINT) or SIGTERM stops it, also while it waits for\n"
    "the display. Mono songs play in the middle. Needs an X display and a sound\n"
    "device.\n"
    "\n"
    "  --loop      start over at the end of the song, until stopped\n"
    "  -h, --help  print this help and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0  played to the end, or stopped\n"
    "  1  FILE cannot be read or holds no MPEG audio stream, the stream lost\n"
    "     synchronisation before its end, or there is no display or sound\n"
    "     device\n"
    "  2  bad command line\n";

// Frames per audio buffer: about 0.2 s at 44.1 kHz. The library's stream
// plays one buffer while the timer thread refills the other, so a late poll
// has that long before a buffer plays twice; a device that takes samples
// faster than real time shortens it (ALSA's file device over its null device,
// as in the tests, takes them about 2.3 times as fast here).
constexpr int kBufferFrames = 8;
constexpr int kPollMilliseconds = 10;
// How often the main thread looks whether the poll has stopped the stream
// or a stop was asked for.
constexpr auto kEndCheckPeriod = std::chrono::milliseconds(20);
// How long a stop asked for while playing may take before the program ends
// without finishing it (the library may be stuck on its display).
constexpr int kStopGraceMilliseconds = 800;

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

bool loadSong(const std::string& path, std::vector<uint8_t>* image, std::string* error) {
    // A folder, pipe or device is no song, and reading one may never end.
    errno = 0;
    if (!runtime::isRegularFile(path.c_str())) {
        *error = "cannot read " + path + ": " + (errno ? std::strerror(errno) : "not a plain file");
        return false;
    }
    // Larger than any song, or growing while it is read: refused, not read on.
    runtime::FileStatus status;
    const bool tooLarge = runtime::statusOf(kCurrentFolder, path.c_str(), status) == 0 && status.size > kLargestInputBytes;
    if (tooLarge || !readBinaryFile(path, image, kLargestInputBytes)) {
        *error = tooLarge || errno == EFBIG ? path + " is larger than 1 GiB, the largest song taken"
                                            : "cannot read " + path + ": " + std::strerror(errno);
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
    return output->installTimerCallback(pollTimerCallback, stream, kPollMilliseconds);
}

// Returns when the poll has stopped the stream (the song ended, or no frame
// could be found any more) or a stop was asked for.
void waitForTheEnd(const AllegroAudioOutput& output) {
    while (!output.stopped() && !runtime::stopRequested()) std::this_thread::sleep_for(kEndCheckPeriod);
}

// Returns when the sound device has played everything mixed before, or a stop
// was asked for.
void waitForThePlayOut() {
    const SoundPlayOut playOut;
    while (!playOut.done() && !runtime::stopRequested()) std::this_thread::sleep_for(kEndCheckPeriod);
}

int play(const Options& options) {
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
    runtime::stopWithGrace(kStopGraceMilliseconds);
    waitForTheEnd(output);
    // mp3StreamStop removes the timer callback and waits for a poll under way
    // before it looks at the stream, then stops the audio stream if the poll
    // has not already; the poll's record of lost synchronisation is read after.
    mp3StreamStop(stream);
    const long lostSyncAt = stream->lostSyncAt;
    mp3StreamDestroy(stream);
    if (lostSyncAt >= 0) return fail("lost synchronisation at byte " + std::to_string(lostSyncAt));
    // The song's end has been mixed (the poll stopped the stream after its
    // silent buffers) but may still wait in the device, whose buffer closing
    // the sound system at exit drops.
    if (!runtime::stopRequested()) waitForThePlayOut();
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
    // From the start: the main thread may be held in the library's start-up
    // for as long as the display does not answer.
    if (!sorvil::runtime::watchForStopRequests())
        return sorvil::fail(std::string("cannot watch for stop signals: ") + std::strerror(errno));
    return sorvil::play(options);
}
