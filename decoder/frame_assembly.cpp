// The decoder front end: the input buffer chain the caller feeds, assembly of
// one whole frame body into a reservoir area, and the decode entry that runs
// the frame's layer routine on it.
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"
#include "decoder/layer2/layer2.h"
#include "decoder/layer3/tables.h"
#include "decoder/synthesis.h"

namespace sorvil {

DecoderState* currentDecoder = nullptr;

namespace {

// Every table that needs a power or a trigonometric function, built once
// whichever thread creates the first decoder.
void buildSharedTables() {
    makeSynthesisTables(32767);
    initLayer3Tables(32);
    initLayer2Tables();
}

// Refuses what a reservoir area cannot take or no routine can decode: layer I
// frames (decodeHeader leaves them without size and routine) and, as a guard,
// bodies larger than the area holds.
bool frameCanBeAssembled(const FrameInfo& frame) {
    if (frame.layer != 2 && frame.layer != 3) return false;
    if (frame.decodeLayer == nullptr) return false;
    return frame.frameSize > 0 && frame.frameSize <= kLargestFrameBody;
}

void copyFromChain(DecoderState* state, uint8_t* destination, int count) {
    while (count > 0) {
        InputBuffer* buffer = state->oldestBuffer;
        const int available = buffer->size - buffer->position;
        const int piece = available < count ? available : count;
        std::memcpy(destination, buffer->data + buffer->position, size_t(piece));
        destination += piece;
        count -= piece;
        buffer->position += piece;
        state->bufferedBytes -= piece;
        if (buffer->position >= buffer->size) removeOldestBuffer(state);
    }
}

}  // namespace

int decoderInit(DecoderState* state) {
    std::memset(state, 0, sizeof *state);
    state->previousFrameSize = -1;
    state->synthOffset = 1;
    state->frame.singleChannel = -1;
    for (auto& area : state->hybridLiveSubbands)
        for (int32_t& live : area) live = 32;
    static std::once_flag tablesBuilt;
    std::call_once(tablesBuilt, buildSharedTables);
    return 1;
}

// Leaves the pointers and counters as they are: a state is re-used only after
// a new decoderInit.
void decoderExit(DecoderState* state) {
    InputBuffer* buffer = state->oldestBuffer;
    while (buffer) {
        InputBuffer* next = buffer->next;
        std::free(buffer->data);
        std::free(buffer);
        buffer = next;
    }
}

int decodeFrame(DecoderState* state, const uint8_t* input, int inputSize, uint8_t* output,
                int outputCapacity, int* outputBytes) {
    currentDecoder = state;
    if (outputCapacity < kMinimumOutputCapacity) return DEC_ERR;
    if (input && !addInputBuffer(state, input, inputSize)) return DEC_ERR;

    if (state->frameSize == 0) {
        if (state->bufferedBytes < 4) return DEC_NEED_MORE;
        readHeaderWord(state);
        if (!headerIsValid(state->header)) return DEC_ERR;
        if (decodeHeader(&state->frame, state->header) <= 0) return DEC_ERR;
        if (!frameCanBeAssembled(state->frame)) return DEC_ERR;
        state->frameSize = state->frame.frameSize;
    }
    if (state->frame.frameSize > state->bufferedBytes) return DEC_NEED_MORE;

    uint8_t* area = state->reservoir[state->reservoirIndex];
    readPointer = area + kReservoirLeadIn;
    bitIndex = 0;
    readLimit = area + kReservoirAreaBytes - kReaderSlack;
    // From here on reservoirIndex names the area holding the previous body.
    state->reservoirIndex ^= 1;
    copyFromChain(state, readPointer, state->frameSize);

    *outputBytes = 0;
    if (state->frame.errorProtection) getBits(16);  // the CRC is not checked
    if (state->frame.decodeLayer(&state->frame, output, outputBytes) < 0) return DEC_ERR;

    state->previousFrameSize = state->frameSize;
    state->frameSize = 0;
    return DEC_OK;
}

InputBuffer* addInputBuffer(DecoderState* state, const uint8_t* bytes, int size) {
    if (size < 0) return nullptr;
    auto* buffer = static_cast<InputBuffer*>(std::malloc(sizeof(InputBuffer)));
    if (!buffer) return nullptr;
    // At least one byte, so that an empty piece of input is not taken for a
    // failed allocation.
    buffer->data = static_cast<uint8_t*>(std::malloc(size > 0 ? size_t(size) : 1));
    if (!buffer->data) {
        std::free(buffer);
        return nullptr;
    }
    if (size > 0) std::memcpy(buffer->data, bytes, size_t(size));
    buffer->size = size;
    buffer->position = 0;
    buffer->next = nullptr;
    buffer->previous = state->newestBuffer;
    if (state->newestBuffer)
        state->newestBuffer->next = buffer;
    else
        state->oldestBuffer = buffer;
    state->newestBuffer = buffer;
    state->bufferedBytes += size;
    return buffer;
}

void removeOldestBuffer(DecoderState* state) {
    InputBuffer* removed = state->oldestBuffer;
    if (!removed) return;
    state->oldestBuffer = removed->next;
    if (state->oldestBuffer)
        state->oldestBuffer->previous = nullptr;
    else
        state->newestBuffer = nullptr;
    std::free(removed->data);
    std::free(removed);
}

int readInputByte(DecoderState* state) {
    while (state->oldestBuffer && state->oldestBuffer->position >= state->oldestBuffer->size)
        removeOldestBuffer(state);
    // Unreachable while bufferedBytes is exact: callers check it first.
    if (!state->oldestBuffer) std::exit(1);
    InputBuffer* buffer = state->oldestBuffer;
    const int byte = buffer->data[buffer->position++];
    --state->bufferedBytes;
    return byte;
}

void readHeaderWord(DecoderState* state) {
    uint32_t word = 0;
    for (int i = 0; i < 4; ++i) word = (word << 8) | uint32_t(readInputByte(state));
    state->header = word;
}

// Copies the last byteCount bytes of the previous body to just before the
// cursor, so the main data runs on seamlessly into the current body.
int stepBack(int byteCount) {
    DecoderState* state = currentDecoder;
    if (state->previousFrameSize < 0 && byteCount > 0) return -1;
    // The lead-in bounds how far back main data can reach.
    if (byteCount < 0 || byteCount > kReservoirLeadIn) return -1;
    readPointer -= byteCount;
    if (byteCount != 0) {
        const uint8_t* source =
            state->reservoir[state->reservoirIndex] + kReservoirLeadIn + state->previousFrameSize - byteCount;
        std::memcpy(readPointer, source, size_t(byteCount));
    }
    bitIndex = 0;
    return 0;
}

}  // namespace sorvil
