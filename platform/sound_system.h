// The library's sound system for real playback: the system driver, its timer
// thread and digital sound, and the library audio streams fed by the stream
// decoding loop. On Linux the only system driver with timers and sound is the
// X11 one, so playback needs a display as well as a sound device.
#pragma once

#include <chrono>
#include <string>

struct AUDIOSTREAM;
struct SAMPLE;

namespace sorvil {

// Starts the system driver, the timer and digital sound. False when one of
// them cannot be had; `reason` then says why in one line. Checks for a
// display-capable system driver first: the library's timer and sound crash
// without one.
bool startSoundSystem(std::string* reason);

// A library audio stream of unsigned 16-bit samples at full volume, centred,
// whose buffers hold samplesPerBuffer samples per channel; null on failure.
AUDIOSTREAM* playAudioStream(int samplesPerBuffer, bool stereo, int sampleRate);

// The mixer hands what it mixes to the sound device's own buffer, which the
// device plays later, and closing the sound system drops what that buffer
// still holds. Started once everything to be heard has been mixed (an audio
// stream whose poll has stopped it after its silent buffers has been), a
// play-out has the mixer go on with enough silence to push it all through the
// device: once done() the device has played everything mixed before.
class SoundPlayOut {
public:
    SoundPlayOut();
    ~SoundPlayOut();
    SoundPlayOut(const SoundPlayOut&) = delete;
    SoundPlayOut& operator=(const SoundPlayOut&) = delete;

    bool done() const;

private:
    SAMPLE* silence_ = nullptr;
    int voice_ = -1;
    // Without a voice of its own the play-out lasts as long as the device
    // takes to play its silence in real time.
    std::chrono::steady_clock::time_point playedBy_;
};

}  // namespace sorvil
