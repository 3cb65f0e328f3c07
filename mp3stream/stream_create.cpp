// Creating an MP3 stream over a file image: skip the ID3 tags, find the first
// real frame in the search window, probe it with a scratch decoder for the
// stream's format, read its frame-count header and count the frames.
#include <cstdlib>
#include <cstring>

#include "mp3stream/mp3stream.h"

namespace sorvil {

namespace {

// The byte range of the image: nothing outside it is ever read.
struct Image {
    const uint8_t* begin;
    const uint8_t* end;
};

bool startsWith(const uint8_t* bytes, const char* text) {
    return std::memcmp(bytes, text, std::strlen(text)) == 0;
}

// The offset of the Xing header from the frame's first byte: just after the
// side information, whose size depends on the version and channel count.
int xingOffset(const FrameInfo& frame) {
    if (frame.lsf == 0) return frame.mode == 3 ? 21 : 36;
    return frame.mode == 3 ? 13 : 21;
}

struct Search {
    const uint8_t* audio;
    int window;
    Image image;
};

// The scratch decoder of one creation call and its output area.
struct Probe {
    DecoderState state;
    uint8_t output[kFrameOutputBytes];
    int outputBytes;
    bool fresh;  // state is exactly as decoderInit leaves it
};

// After a layer routine has refused a frame, the state differs from a fresh
// one only where decodeFrame assembled the frame: a routine that fails does
// so on the side information, before it writes anything. Undoing those
// writes is much cheaper than clearing the whole state for each of the
// thousands of candidates a hostile window can hold.
void undoFailedAssembly(DecoderState* state) {
    std::memset(state->reservoir[0] + kReservoirLeadIn, 0, size_t(state->frameSize));
    state->newestBuffer = nullptr;  // the chain was released by decoderExit
    state->oldestBuffer = nullptr;
    state->bufferedBytes = 0;
    state->frameSize = 0;
    state->frame = FrameInfo{};
    state->frame.singleChannel = -1;
    state->header = 0;
    state->reservoirIndex = 0;
}

// Decodes the candidate frame from a fresh scratch state. decodeFrame copies
// exactly one body out of its input, so giving it just this frame decodes
// the same as giving it the rest of the window. The chain is empty after a
// success and released here after a failure.
bool probeDecodes(Probe* probe, const uint8_t* candidate) {
    DecoderState* state = &probe->state;
    if (!probe->fresh) decoderInit(state);
    probe->fresh = false;
    FrameInfo frame{};
    decodeHeader(&frame, readBigEndian32(candidate));
    probe->outputBytes = 0;
    const int result =
        decodeFrame(state, candidate, frame.frameSize + 4, probe->output, kFrameOutputBytes, &probe->outputBytes);
    if (result == DEC_OK && state->frame.frameSize > 0) return true;
    decoderExit(state);
    const bool layerRoutineFailed = result == DEC_ERR && state->frameSize > 0 && state->bufferedBytes == 0 &&
                                    state->previousFrameSize < 0 && state->reservoirIndex == 1;
    if (layerRoutineFailed) {
        undoFailedAssembly(state);
        probe->fresh = true;
    }
    return false;
}

struct Candidates {
    const uint8_t* windowEnd;
    Probe* probe;
};

// Frames chain at the candidate (cheap conditions that acceptance needs
// anyway); the scratch decode comes only once the whole frame lies inside
// the window, as the decode could otherwise only ask for more input.
bool probeAccepts(const uint8_t* candidate, const FrameInfo& frame, void* context) {
    const auto& candidates = *static_cast<const Candidates*>(context);
    if (frame.frameSize + 4 > candidates.windowEnd - candidate) return false;
    return probeDecodes(candidates.probe, candidate);
}

// The position of the first frame in the window, or -1.
int findFirstFrame(const Search& search, Probe* probe) {
    Candidates candidates{search.audio + search.window, probe};
    const uint8_t* first = findFrameChain(search.audio, candidates.windowEnd, candidates.windowEnd,
                                          search.image.end, probeAccepts, &candidates);
    return first ? int(first - search.audio) : -1;
}

int defaultBytesPerFrame(const Mp3Stream& stream) {
    const bool halfFrames = stream.audioLayer == 3 && stream.sampleRate >= 8000 && stream.sampleRate <= 24000;
    const int samples = halfFrames ? 576 : 1152;
    return samples * (stream.stereo ? 2 : 1) * 2;
}

// Parses a Xing header `offset` bytes into the data, under either of its
// names: encoders call it "Info" in constant-bitrate streams. Null when the
// fields its flags announce run past the end of the data or memory runs out.
XingInfo* readXing(const uint8_t* data, int dataLength, int offset) {
    const long available = long(dataLength) - offset;
    if (available < 8) return nullptr;
    const uint8_t* at = data + offset;
    const int flags = int(readBigEndian32(at + 4));
    long needed = 8;
    if (flags & 0x1) needed += 4;
    if (flags & 0x2) needed += 4;
    if (flags & 0x4) needed += 100;
    if (flags & 0x8) needed += 4;
    if (available < needed) return nullptr;

    auto* xing = static_cast<XingInfo*>(std::calloc(1, sizeof(XingInfo)));
    if (!xing) return nullptr;
    xing->flags = flags;
    const uint8_t* field = at + 8;
    if (flags & 0x1) {
        xing->frames = int(readBigEndian32(field));
        field += 4;
    }
    if (flags & 0x2) {
        xing->bytes = int(readBigEndian32(field));
        field += 4;
    }
    if (flags & 0x4) {
        std::memcpy(xing->toc, field, sizeof xing->toc);
        field += sizeof xing->toc;
    }
    xing->scale = -1;
    if (flags & 0x8) xing->scale = int(readBigEndian32(field));
    return xing;
}

// A VBRI header sits at this offset whatever the version and mode: "VBRI",
// then 2-byte version, delay and quality, the 4-byte byte count and frame
// count (all big-endian), then a seek table that is not read.
constexpr int kVbriOffset = 36;
constexpr int kVbriCountsEnd = 18;

// Kept in the Xing form, flagged as holding the frame and byte counts, so
// the frame count is taken exactly as a Xing one. Null when there is none,
// when its counts run past the end of the data, or when memory runs out.
XingInfo* readVbri(const uint8_t* data, int dataLength) {
    if (dataLength < kVbriOffset + kVbriCountsEnd) return nullptr;
    const uint8_t* at = data + kVbriOffset;
    if (!startsWith(at, "VBRI")) return nullptr;
    auto* xing = static_cast<XingInfo*>(std::calloc(1, sizeof(XingInfo)));
    if (!xing) return nullptr;
    xing->flags = 0x1 | 0x2;
    xing->bytes = int(readBigEndian32(at + 10));
    xing->frames = int(readBigEndian32(at + 14));
    xing->scale = -1;
    return xing;
}

// Xing or Info where the side information of the first frame ends.
bool namesXingHeader(const uint8_t* data, int dataLength, const FrameInfo& frame) {
    const int offset = xingOffset(frame);
    return dataLength - offset >= 4 && (startsWith(data + offset, "Xing") || startsWith(data + offset, "Info"));
}

// The frame-count header of the first frame: Xing or Info, else VBRI.
XingInfo* readFrameCountHeader(const uint8_t* data, int dataLength, const FrameInfo& frame) {
    if (namesXingHeader(data, dataLength, frame)) return readXing(data, dataLength, xingOffset(frame));
    return readVbri(data, dataLength);
}

// A header's frame count, else the data length over the first frame's
// length, which is exact for a constant bitrate and keeps those durations as
// they always were. Only when the bitrate varies does the walked count
// stand; a Xing or Info frame without a count holds no audio and is passed.
int countFrames(const Mp3Stream& stream, const FrameInfo& first, const WalkProgress* progress) {
    if (stream.xing && (stream.xing->flags & 0x1)) return stream.xing->frames;
    const uint8_t* audio = stream.dataStart;
    if (namesXingHeader(stream.dataStart, stream.dataLength, first)) audio += stream.frameLength;
    const FrameWalk walk = walkFrames(audio, stream.dataStart + stream.dataLength, first, progress);
    return walk.bitrateVaries ? walk.frames : stream.dataLength / stream.frameLength;
}

// The ID3v2 tags at the front: every tag that starts right where the one
// before it ends (taggers leave a second one, often with the cover art).
// May exceed the image, which then holds no audio data.
long leadingId3v2Size(const uint8_t* image, int length) {
    long size = 0;
    while (length - size >= kId3v2HeaderBytes) {
        const int tag = id3v2Size(image + size);
        if (tag == 0) break;
        size += tag;
    }
    return size;
}

void describeFirstFrame(Mp3Stream* stream, const FrameInfo& frame, int probeOutputBytes) {
    stream->sampleRate = samplingRates[frame.samplingFrequency];
    stream->stereo = frame.channels >= 2 ? STREAM_TRUE : STREAM_FALSE;
    stream->sampleBits = 16;
    stream->bitrate = bitrates[frame.lsf][frame.layer - 1][frame.bitrateIndex] * 1000;
    stream->audioLayer = frame.layer;
    stream->frameLength = frame.frameSize + 4;
    stream->outBytesPerFrame = probeOutputBytes;
    // A frame that needs main data from an earlier frame decodes to nothing.
    if (stream->outBytesPerFrame <= 0) stream->outBytesPerFrame = defaultBytesPerFrame(*stream);
}

}  // namespace

int id3v2Size(const uint8_t* image) {
    if (!startsWith(image, "ID3")) return 0;
    int size = image[6];
    for (int i = 7; i <= 9; ++i) size = (size << 7) | image[i];
    const bool footer = (image[5] & 0x10) != 0;
    return size + (footer ? 2 * kId3v2HeaderBytes : kId3v2HeaderBytes);
}

Mp3Stream* mp3StreamCreate(const uint8_t* image, int length) { return mp3StreamCreate(image, length, nullptr); }

Mp3Stream* mp3StreamCreate(const uint8_t* image, int length, const WalkProgress* progress) {
    if (!image || length <= 0) return nullptr;
    const Image bounds{image, image + length};
    const int imageLength = length;

    int tagSize = 0;
    if (length >= kId3v1Bytes && startsWith(image + length - kId3v1Bytes, "TAG")) {
        tagSize = kId3v1Bytes;
        length -= kId3v1Bytes;
    }
    const long tags = leadingId3v2Size(image, imageLength);
    // Tags larger than the image leave no audio data.
    if (tags >= length) return nullptr;
    const int id3v2 = int(tags);
    length -= id3v2;
    const Search search{image + id3v2, length < kSearchWindowBytes ? length : kSearchWindowBytes, bounds};

    auto* probe = static_cast<Probe*>(std::malloc(sizeof(Probe)));
    if (!probe) return nullptr;
    probe->fresh = false;
    const int position = findFirstFrame(search, probe);
    if (position < 0) {
        std::free(probe);
        return nullptr;
    }
    const FrameInfo frame = probe->state.frame;
    const int probeOutputBytes = probe->outputBytes;
    decoderExit(&probe->state);
    std::free(probe);
    if (frame.layer != 2 && frame.layer != 3) return nullptr;

    auto* stream = static_cast<Mp3Stream*>(std::calloc(1, sizeof(Mp3Stream)));
    if (!stream) return nullptr;
    decoderInit(&stream->decoder);
    stream->dataStart = search.audio + position;
    stream->dataCursor = stream->dataStart;
    stream->dataOffset = id3v2 + position;
    stream->dataLength = length - position;
    stream->tagSize = tagSize;
    stream->lostSyncAt = -1;
    describeFirstFrame(stream, frame, probeOutputBytes);

    stream->xing = readFrameCountHeader(stream->dataStart, stream->dataLength, frame);
    stream->totalFrames = countFrames(*stream, frame, progress);
    return stream;
}

}  // namespace sorvil
