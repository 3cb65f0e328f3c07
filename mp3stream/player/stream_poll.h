// The stream decoding loop the tools play and decode with: the start of
// playback, the poll and what it reports beyond its result.
#pragma once

#include <cstdint>

#include "mp3stream/mp3stream.h"

namespace sorvil {

enum PollResult { POLL_LOST_SYNC = -2, POLL_NOT_PLAYING = -1, POLL_OK = 0, POLL_FINISHED = 1 };
enum FrameResult { FRAME_SHORT = -3, FRAME_DONE = -1, FRAME_FAILED = 0 };

// Starts playback as the decoding loop expects it: `output` hands out buffers
// of outBytesPerFrame x bufferFrames bytes, the end countdown is clear, and
// the owner polls (autoPolling stays 0 until the owner installs
// pollTimerCallback through the output).
void mp3StreamStartPlayback(Mp3Stream* stream, AudioOutput* output, int bufferFrames, bool looping);

// Bytes at the start of the buffer that the last mp3StreamPoll handed back
// which hold decoded PCM (the rest of that buffer is silence); 0 when that
// poll handed back no buffer. Lets a caller that collects the buffers, such
// as the decode tool, keep exactly the decoded frames.
int mp3StreamPolledPcmBytes(const Mp3Stream* stream);

// How far past a frame that fails to decode the search for the next one
// goes; a stream that finds none within it has lost synchronisation. The
// decode tool's frame-by-frame mode keeps to the same distance.
constexpr int kResyncWindow = 0x4000;

void flipSampleSigns(Mp3Stream* stream, uint8_t* buffer);
int decodeOneFrame(Mp3Stream* stream, const uint8_t* data, uint8_t* output, int* decodedBytes,
                   int* consumedBytes);
int mp3StreamPoll(Mp3Stream* stream);
void pollTimerCallback(void* parameter);

}  // namespace sorvil
