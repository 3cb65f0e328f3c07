// MPEG audio frame header (ISO/IEC 11172-3 and 13818-3, plus the MPEG-2.5
// rates): the validity test, decoding into FrameInfo with the frame size and
// layer routine, the rate tables, and the storage of the bit cursor.
#include "decoder/frame_header.h"

#include "decoder/bit_reader.h"
#include "decoder/layer2/layer2.h"
#include "decoder/layer3/layer3.h"

namespace sorvil {

uint8_t* readPointer = nullptr;
int bitIndex = 0;
const uint8_t* readLimit = nullptr;

const int samplingRates[9] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};

const int bitrates[2][3][16] = {
    // MPEG-1 (ISO/IEC 11172-3)
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    // Lower sampling frequencies (ISO/IEC 13818-3), also used for MPEG-2.5
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
};

namespace {

unsigned field(uint32_t header, int lowBit, int width) {
    return (header >> lowBit) & ((1u << width) - 1);
}

}  // namespace

// Deliberately lenient: the version bits, emphasis and free format are left
// to decodeHeader and to the stream's own stricter test.
int headerIsValid(uint32_t header) {
    if ((header & 0xFFE00000u) != 0xFFE00000u) return 0;
    if (field(header, 17, 2) == 0) return 0;
    if (field(header, 12, 4) == 15) return 0;
    if (field(header, 10, 2) == 3) return 0;
    return 1;
}

// Fields are written as they are decoded; those set before a failure stay.
int decodeHeader(FrameInfo* frame, uint32_t header) {
    if (field(header, 20, 1)) {
        frame->mpeg25 = 0;
        frame->lsf = 1 - int(field(header, 19, 1));
    } else {
        frame->lsf = 1;
        frame->mpeg25 = 1;
    }
    frame->layer = 4 - int(field(header, 17, 2));

    const int rateBits = int(field(header, 10, 2));
    if (rateBits == 3) return 0;
    frame->samplingFrequency = frame->mpeg25 ? rateBits + 6 : rateBits + 3 * frame->lsf;

    frame->errorProtection = 1 - int(field(header, 16, 1));
    frame->bitrateIndex = int(field(header, 12, 4));
    frame->padding = int(field(header, 9, 1));
    frame->extension = int(field(header, 8, 1));
    frame->mode = int(field(header, 6, 2));
    frame->modeExtension = int(field(header, 4, 2));
    frame->copyright = int(field(header, 3, 1));
    frame->original = int(field(header, 2, 1));
    frame->emphasis = int(field(header, 0, 2));
    frame->channels = frame->mode == 3 ? 1 : 2;

    if (frame->bitrateIndex == 0) return 0;  // free format is not supported

    const int rate = samplingRates[frame->samplingFrequency];
    switch (frame->layer) {
    case 1:
        // Accepted as a header, but no size or routine: frame assembly refuses it.
        return 1;
    case 2: {
        const int bitrate = bitrates[frame->lsf][1][frame->bitrateIndex];
        frame->decodeLayer = decodeLayer2;
        // Low-sampling-frequency layer II frames still hold 1152 samples: no halving.
        frame->frameSize = bitrate * 144000 / rate + frame->padding - 4;
        return 1;
    }
    case 3: {
        const int bitrate = bitrates[frame->lsf][2][frame->bitrateIndex];
        frame->decodeLayer = decodeLayer3;
        frame->frameSize = bitrate * 144000 / (rate << frame->lsf) + frame->padding - 4;
        return 1;
    }
    default:
        return 0;
    }
}

}  // namespace sorvil
