// The library's sound system for real playback: the system driver, its timer
// thread and digital sound, and the library audio streams fed by the stream
// decoding loop. On Linux the only system driver with timers and sound is the
// X11 one, so playback needs a display as well as a sound device.
#pragma once

#include <string>

struct AUDIOSTREAM;

namespace sorvil {

// Starts the system driver, the timer and digital sound. False when one of
// them cannot be had; `reason` then says why in one line. Checks for a
// display-capable system driver first: the library's timer and sound crash
// without one.
bool startSoundSystem(std::string* reason);

// A library audio stream of unsigned 16-bit samples at full volume, centred,
// whose buffers hold samplesPerBuffer samples per channel; null on failure.
AUDIOSTREAM* playAudioStream(int samplesPerBuffer, bool stereo, int sampleRate);

}  // namespace sorvil
