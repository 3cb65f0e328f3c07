// The decoder's per-stream record, its input buffer chain and frame assembly.
//
// Streams are decoded one after another on one thread: while a frame is
// decoded, the layer routines reach the stream's state through the
// process-wide currentDecoder, and the tables they read are shared by every
// stream. That process-wide state is the design, not an oversight; two
// streams may not decode at the same time. The tables alone may be built from
// any thread: the first decoderInit builds them, once.
#pragma once

#include <cstdint>

#include "decoder/frame_header.h"

namespace sorvil {

enum DecodeResult { DEC_ERR = -1, DEC_OK = 0, DEC_NEED_MORE = 1 };

// Bytes before the frame body in a reservoir area: main data that a layer III
// frame takes from the frame before it is copied there.
constexpr int kReservoirLeadIn = 512;
// The largest body any accepted header names: layer II at 8000 Hz and
// 160 kbit/s with padding is 2880 - 4 + 1 = 2877 bytes.
constexpr int kLargestFrameBody = 2880;
// Room after the body for the readers' look-ahead and bounded overreads.
constexpr int kReaderSlack = 64;
constexpr int kReservoirAreaBytes = kReservoirLeadIn + kLargestFrameBody + kReaderSlack;
// Output capacity decodeFrame insists on: one stereo 1152-sample frame.
constexpr int kMinimumOutputCapacity = 4608;
// The output room every caller gives decodeFrame for one frame: the above
// and then some.
constexpr int kFrameOutputBytes = 8192;

struct InputBuffer {
    uint8_t* data;
    int32_t size;
    int32_t position;
    InputBuffer* next;      // newer
    InputBuffer* previous;  // older
};

struct DecoderState {
    InputBuffer* newestBuffer;
    InputBuffer* oldestBuffer;
    int32_t bufferedBytes;
    int32_t frameSize;          // body size of the pending frame; 0 = no header read
    int32_t previousFrameSize;  // body size of the last frame decoded; -1 before the first
    FrameInfo frame;
    uint8_t reservoir[2][kReservoirAreaBytes];
    double hybridBlock[2][2][576];
    int32_t hybridBlockIndex[2];
    // Per overlap area and channel: the subbands from this one on hold only
    // zeros (32 when nothing is known).
    int32_t hybridLiveSubbands[2][2];
    uint32_t header;
    int32_t reservoirIndex;
    double synthBuffers[2][2][272];
    int32_t synthOffset;
};

// The state being decoded; set by every decodeFrame call.
extern DecoderState* currentDecoder;

int decoderInit(DecoderState* state);
void decoderExit(DecoderState* state);
int decodeFrame(DecoderState* state, const uint8_t* input, int inputSize, uint8_t* output,
                int outputCapacity, int* outputBytes);

InputBuffer* addInputBuffer(DecoderState* state, const uint8_t* bytes, int size);
void removeOldestBuffer(DecoderState* state);
int readInputByte(DecoderState* state);
void readHeaderWord(DecoderState* state);

// Moves the bit cursor back into the previous frame's main data; 0 or -1.
int stepBack(int byteCount);

}  // namespace sorvil
