// What the decoding loop reports beyond its poll result, and the lock that
// keeps auto-polling apart from the stream's owner.
#pragma once

#include <mutex>

namespace sorvil {

struct Mp3Stream;
struct AudioOutput;

// Starts playback as the decoding loop expects it: `output` hands out buffers
// of outBytesPerFrame x bufferFrames bytes, the end countdown is clear, and
// the owner polls (autoPolling stays 0 until it registers pollTimerCallback).
void mp3StreamStartPlayback(Mp3Stream* stream, AudioOutput* output, int bufferFrames, bool looping);

// How far past a frame that fails to decode the search for the next one
// goes; a stream that finds none within it has lost synchronisation. The
// decode tool's frame-by-frame mode keeps to the same distance.
constexpr int kResyncWindow = 0x4000;

// Bytes at the start of the buffer that the last mp3StreamPoll handed back
// which hold decoded PCM (the rest of that buffer is silence); 0 when that
// poll handed back no buffer. Lets a caller that collects the buffers, such
// as the decode tool, keep exactly the decoded frames.
int mp3StreamPolledPcmBytes();

// Held by the timer callback for the whole of each poll, and by mp3StreamStop
// on an auto-polled stream once the callback is removed, so a stop from the
// owner's thread waits for a poll under way before it reads the stream. The
// library's removal of a timer callback waits for it only while the callback
// is still registered, and a poll that ends the song removes it itself.
// Recursive: that poll stops the stream while it holds the lock.
std::recursive_mutex& autoPollingLock();

}  // namespace sorvil
