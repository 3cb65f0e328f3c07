// An MP3 stream over a file image held in memory, as measuring a song needs
// it: creation (ID3 tags, first frame search, frame-count header), the frame
// search and walk, durations and lifetime. The decoding loop that plays it is
// mp3stream/player/.
#pragma once

#include <cstdint>
#include <mutex>

#include "decoder/decoder_state.h"
#include "mp3stream/stream_layout.h"
#include "platform/audio_output.h"

namespace sorvil {

// Truth values in this subsystem are 0 and -1.
constexpr int STREAM_TRUE = -1;
constexpr int STREAM_FALSE = 0;

// The frame-count header of the first frame: a Xing header (also named
// "Info"), or a VBRI header kept in the same form with flags 0x1 | 0x2 (its
// frame and byte counts), no seek table and a scale of -1.
struct XingInfo {
    int flags;
    int frames;
    int bytes;
    int scale;
    uint8_t toc[100];
};

struct Mp3Stream {
    const uint8_t* dataStart;
    const uint8_t* dataCursor;
    int32_t dataLength;
    int32_t dataOffset;
    int32_t tagSize;
    DecoderState decoder;
    XingInfo* xing;
    int32_t needsReset;
    int32_t outBytesPerFrame;
    int32_t frameLength;
    int32_t bitrate;
    int32_t audioLayer;
    int32_t totalFrames;
    int32_t currentFrame;
    AudioOutput* audioStream;
    int32_t sampleRate;
    int32_t stereo;
    int32_t sampleBits;
    int32_t looping;
    int32_t bufferFrames;
    int32_t autoPolling;
    int32_t endCountdown;
    // Byte of the file where the frame stood after which the last poll that
    // lost synchronisation found none to go on with; -1 while none has.
    int32_t lostSyncAt;
    // The output playback was started with. Unlike audioStream it stays set
    // when the stream stops, so mp3StreamStop reaches the output's timer
    // callback without reading audioStream, which an auto-poll may be
    // clearing on the timer thread.
    AudioOutput* playbackOutput;
    // The decoding loop's scratch: the PCM bytes of the buffer the last poll
    // handed back, and the area a frame that might not fit the buffer is
    // decoded into first.
    int32_t polledPcmBytes;
    uint8_t frameArea[kFrameOutputBytes];
};

// Told during a frame walk, every kWalkStride bytes, which stretch the walk has left behind
// and where it stands.
struct WalkProgress {
    void (*advanced)(const uint8_t* passed, const uint8_t* at, void* context);
    void* context;
};

// Creation. A walk of the frames, when the stream needs one, tells `progress`
// (null: nobody) how far it has come: the song loader lets go of a mapped
// song's pages behind the walk and asks for those ahead, so a long song is
// walked in little memory and large reads.
Mp3Stream* mp3StreamCreate(const uint8_t* image, int length, const WalkProgress* progress);
Mp3Stream* mp3StreamCreate(const uint8_t* image, int length);

// Frame search.
int isFrameHeader(uint32_t word);
uint32_t readBigEndian32(const uint8_t* bytes);
// A plausible header whose four bytes all lie before readEnd.
bool frameHeaderAt(const uint8_t* at, const uint8_t* readEnd);
// A plausible header stands at `at` (decoded into *frame) and the frame it
// starts either reaches chainEnd (the end of the data or of a search window)
// or is followed by another plausible header. Nothing at or past readEnd is
// read.
bool framesChainAt(const uint8_t* at, const uint8_t* chainEnd, const uint8_t* readEnd, FrameInfo* frame);
// Judges a position where frames chain; `context` is the caller's own.
using ChainTest = bool (*)(const uint8_t* at, const FrameInfo& frame, void* context);
// The first position from `from` up to searchEnd (excluded) where frames
// chain (framesChainAt with chainEnd and readEnd) and `test` accepts them;
// null when there is none. The one search loop of stream creation, the poll
// and the tools.
const uint8_t* findFrameChain(const uint8_t* from, const uint8_t* searchEnd, const uint8_t* chainEnd,
                              const uint8_t* readEnd, ChainTest test, void* context);

// Frame walk, for streams whose frame count no header gives.
struct FrameWalk {
    int32_t frames;      // complete frames of the first frame's format
    bool bitrateVaries;  // some walked frame's bitrate differs from the first frame's
};
FrameWalk walkFrames(const uint8_t* from, const uint8_t* end, const FrameInfo& first,
                     const WalkProgress* progress);

// Durations.
int mp3StreamTotalFrames(const Mp3Stream* stream);
int mp3StreamBytesPerSecond(const Mp3Stream* stream);
int mp3StreamFrameMs(const Mp3Stream* stream);
int mp3StreamLengthMs(const Mp3Stream* stream);
int mp3StreamLengthSeconds(const Mp3Stream* stream);

// Lifetime.
int mp3StreamIsPlaying(const Mp3Stream* stream);
void mp3StreamStop(Mp3Stream* stream);
void mp3StreamRewind(Mp3Stream* stream);
int mp3StreamResetDecoder(Mp3Stream* stream);
void mp3StreamDestroy(Mp3Stream* stream);

// Held by the timer callback for the whole of each poll, and by mp3StreamStop
// on an auto-polled stream once the callback is removed, so a stop from the
// owner's thread waits for a poll under way before it reads the stream. The
// library's removal of a timer callback waits for it only while the callback
// is still registered, and a poll that ends the song removes it itself.
// Recursive: that poll stops the stream while it holds the lock.
std::recursive_mutex& autoPollingLock();

}  // namespace sorvil
