#include "platform/sound_system.h"

#include <allegro.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace sorvil {

namespace {

// How much silence a play-out mixes, in the digital driver's periods (the
// pieces the mixer fills the device's buffer with): the library's ALSA driver
// keeps 5 periods in the device by default (alsa_numfrags), a device may round
// that up, and the period being handed over when the play-out starts comes
// on top.
constexpr int kPlayOutPeriods = 16;
// The period of a driver that does not tell its own, as the library assumes.
constexpr int kDefaultPeriodFrames = 2048;

// The sound library underneath prints its configuration complaints to
// standard error while the drivers are probed (a machine without a card gives
// half a dozen lines); the one-line reason given instead says all of it.
class StandardErrorSilenced {
public:
    StandardErrorSilenced() : saved_(dup(STDERR_FILENO)) {
        int null = open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~StandardErrorSilenced() {
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    StandardErrorSilenced(const StandardErrorSilenced&) = delete;
    StandardErrorSilenced& operator=(const StandardErrorSilenced&) = delete;

private:
    int saved_;
};

}  // namespace

bool startSoundSystem(std::string* reason) {
    if (install_allegro(SYSTEM_AUTODETECT, &errno, std::atexit) != 0 || !system_driver) {
        const char* display = std::getenv("DISPLAY");
        *reason = display && *display ? std::string("cannot use the X display ") + display
                                      : "no display: playback needs an X server for the library's timer and sound";
        return false;
    }
    // A configuration file may choose the display-less driver, under which
    // install_timer crashes.
    if (system_driver->id == SYSTEM_NONE) {
        *reason = "no display: the display-less system driver has no timer or sound";
        return false;
    }
    if (install_timer() != 0) {
        *reason = std::string("cannot start the timer: ") + allegro_error;
        return false;
    }
    // By default the mixer plays every voice at half volume, leaving room for
    // a second one; playback has one voice and plays it at its own level.
    set_volume_per_voice(0);
    int installed;
    {
        StandardErrorSilenced quiet;
        installed = install_sound(DIGI_AUTODETECT, MIDI_NONE, nullptr);
    }
    if (installed != 0) {
        *reason = std::string("cannot start sound: ") + allegro_error;
        return false;
    }
    // Autodetection settles for the silent driver when no device answers.
    if (digi_card == DIGI_NONE) {
        *reason = "no sound device";
        return false;
    }
    return true;
}

AUDIOSTREAM* playAudioStream(int samplesPerBuffer, bool stereo, int sampleRate) {
    return play_audio_stream(samplesPerBuffer, 16, stereo ? 1 : 0, sampleRate, 255, 128);
}

// A voice of its own, playing a silent sample at the mixer's rate once: the
// mixer has mixed all of it when the voice has finished.
SoundPlayOut::SoundPlayOut() {
    const int period = digi_driver && digi_driver->buffer_size ? digi_driver->buffer_size() : 0;
    const int frames = kPlayOutPeriods * (period > 0 ? period : kDefaultPeriodFrames);
    const int rate = get_mixer_frequency();
    playedBy_ = std::chrono::steady_clock::now();
    if (rate <= 0) return;  // no mixer: nothing mixed waits to be played
    playedBy_ += std::chrono::milliseconds(1000LL * frames / rate + 1);
    silence_ = create_sample(16, 0, rate, frames);
    if (!silence_) return;
    auto* samples = static_cast<uint16_t*>(silence_->data);
    for (int i = 0; i < frames; ++i) samples[i] = 0x8000;
    voice_ = allocate_voice(silence_);
    if (voice_ >= 0) voice_start(voice_);
}

SoundPlayOut::~SoundPlayOut() {
    if (voice_ >= 0) deallocate_voice(voice_);
    if (silence_) destroy_sample(silence_);
}

bool SoundPlayOut::done() const {
    if (voice_ >= 0) return voice_get_position(voice_) < 0;
    return std::chrono::steady_clock::now() >= playedBy_;
}

}  // namespace sorvil
