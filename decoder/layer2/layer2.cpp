#include "decoder/layer2/layer2.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "decoder/bit_reader.h"
#include "decoder/synthesis.h"

namespace sorvil {

double scaleMultiples[27][64];
uint8_t groupTable3[32][3];
uint8_t groupTable5[128][3];
uint8_t groupTable9[1024][3];

namespace {

// Per-frame list of scale-factor selection values, one per non-zero allocation.
uint8_t selectionList[64];

// Level multipliers: 0; the 3 levels -2/3, 2/3; 2/(2^k - 1) for the ungrouped
// quantisers of k = 3..16 bits; the 5 and 9 levels.
void levelMultipliers(double m[27]) {
    m[0] = 0.0;
    m[1] = -2.0 / 3.0;
    m[2] = 2.0 / 3.0;
    for (int k = 3; k <= 16; ++k) m[k] = 2.0 / ((1 << k) - 1);
    const double five[4] = {-4.0 / 5.0, -2.0 / 5.0, 2.0 / 5.0, 4.0 / 5.0};
    for (int i = 0; i < 4; ++i) m[17 + i] = five[i];
    const double nine[6] = {-8.0 / 9.0, -4.0 / 9.0, -2.0 / 9.0, 2.0 / 9.0, 4.0 / 9.0, 8.0 / 9.0};
    for (int i = 0; i < 6; ++i) m[21 + i] = nine[i];
}

template <int Codes>
void buildGroupTable(uint8_t table[Codes][3], int levels, const uint8_t* rowOfLevel) {
    int valid = levels * levels * levels;
    for (int code = 0; code < Codes; ++code) {
        if (code >= valid) {
            table[code][0] = table[code][1] = table[code][2] = 0;
            continue;
        }
        table[code][0] = rowOfLevel[code % levels];
        table[code][1] = rowOfLevel[(code / levels) % levels];
        table[code][2] = rowOfLevel[code / (levels * levels)];
    }
}

const uint8_t (*groupTableFor(int levels))[3] {
    if (levels == 3) return groupTable3;
    if (levels == 5) return groupTable5;
    return groupTable9;
}

// Bits of sample data the frame's allocation asks for (twelve granules).
long sampleDataBits(const uint8_t allocation[32][2], const FrameInfo* frame) {
    long bitsPerGranule = 0;
    const Layer2AllocEntry* subband = frame->allocTable;
    int channels = frame->channels;
    for (int sb = 0; sb < frame->subbandLimit; ++sb) {
        int codedChannels = (channels == 2 && sb < frame->jointStereoBound) ? 2 : 1;
        for (int ch = 0; ch < codedChannels; ++ch) {
            int v = allocation[sb][ch];
            if (v == 0) continue;
            const Layer2AllocEntry& q = subband[v];
            bitsPerGranule += q.d > 0 ? q.bits : 3 * q.bits;
        }
        subband += 1 << subband[0].bits;
    }
    return 12 * bitsPerGranule;
}

// A private copy of the bit cursor for the sample data: one 64-bit look-ahead
// per subband serves its three codes (at most 3 x 16 bits; the look-ahead
// holds at least 57). decodeLayer2 has checked that the data lies before
// readLimit, so the look-ahead stays inside the reservoir area's slack.
class SampleBits {
public:
    SampleBits() : cursor_(readPointer), bit_(unsigned(bitIndex)) {}
    ~SampleBits() {
        readPointer = cursor_;
        bitIndex = int(bit_);
    }

    uint64_t peek() const {
        uint64_t word;
        std::memcpy(&word, cursor_, sizeof word);
        if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
        return word << bit_;
    }
    void skip(unsigned bits) {
        bit_ += bits;
        cursor_ += bit_ >> 3;
        bit_ &= 7;
    }

private:
    uint8_t* cursor_;
    unsigned bit_;
};

// Reads the three samples of one quantised subband and writes them, as
// multiples of each listed channel's scale factor, into samples[ch][n][sb].
// Both channels of a shared subband take the same codes.
inline void readSubband(SampleBits& bits, const Layer2AllocEntry& q, const int* scaleIndex, int channels,
                        double (*samples)[3][32], int sb) {
    const uint64_t window = bits.peek();
    const int width = q.bits;
    if (q.d > 0) {
        const uint8_t* triple = groupTableFor(q.d)[window >> (64 - width)];
        bits.skip(unsigned(width));
        for (int ch = 0; ch < channels; ++ch)
            for (int n = 0; n < 3; ++n) samples[ch][n][sb] = scaleMultiples[triple[n]][scaleIndex[ch]];
    } else {
        int values[3];
        for (int n = 0; n < 3; ++n) values[n] = static_cast<int>((window << (n * width)) >> (64 - width)) + q.d;
        bits.skip(unsigned(3 * width));
        for (int ch = 0; ch < channels; ++ch) {
            const double factor = scaleMultiples[width][scaleIndex[ch]];
            for (int n = 0; n < 3; ++n) samples[ch][n][sb] = values[n] * factor;
        }
    }
}

}  // namespace

void initLayer2Tables() {
    static const uint8_t rows3[3] = {1, 0, 2};
    static const uint8_t rows5[5] = {17, 18, 0, 19, 20};
    static const uint8_t rows9[9] = {21, 1, 22, 23, 0, 24, 25, 2, 26};
    buildGroupTable<32>(groupTable3, 3, rows3);
    buildGroupTable<128>(groupTable5, 5, rows5);
    buildGroupTable<1024>(groupTable9, 9, rows9);

    double m[27];
    levelMultipliers(m);
    const double third = 1.0 / 3.0;
    for (int r = 0; r < 27; ++r) {
        for (int i = 0; i < 63; ++i) scaleMultiples[r][i] = m[r] * std::pow(2.0, (3 - i) * third);
        scaleMultiples[r][63] = 0.0;
    }
}

void selectLayer2Table(FrameInfo* frame) {
    int table = frame->lsf ? 4 : layer2TableChoice[frame->samplingFrequency][frame->channels - 1][frame->bitrateIndex];
    frame->allocTable = layer2AllocTables[table];
    frame->subbandLimit = layer2SubbandLimits[table];
}

void layer2ReadAllocation(uint8_t allocation[32][2], uint8_t scaleIndexes[32][2][3], FrameInfo* frame) {
    const int channels = frame->channels;
    const int bound = frame->jointStereoBound;
    const int limit = frame->subbandLimit;

    const Layer2AllocEntry* subband = frame->allocTable;
    for (int sb = 0; sb < limit; ++sb) {
        int nbal = subband[0].bits;
        if (channels == 2) {
            if (sb < bound) {
                allocation[sb][0] = static_cast<uint8_t>(getBits(nbal));
                allocation[sb][1] = static_cast<uint8_t>(getBits(nbal));
            } else {
                allocation[sb][0] = allocation[sb][1] = static_cast<uint8_t>(getBits(nbal));
            }
        } else {
            allocation[sb][0] = static_cast<uint8_t>(getBits(nbal));
            allocation[sb][1] = 0;
        }
        subband += 1 << nbal;
    }

    int selections = 0;
    for (int sb = 0; sb < limit; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            if (allocation[sb][ch]) selectionList[selections++] = static_cast<uint8_t>(getBitsFast(2));

    int next = 0;
    for (int sb = 0; sb < limit; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (!allocation[sb][ch]) continue;
            uint8_t* s = scaleIndexes[sb][ch];
            switch (selectionList[next++]) {
                case 0:
                    s[0] = static_cast<uint8_t>(getBitsFast(6));
                    s[1] = static_cast<uint8_t>(getBitsFast(6));
                    s[2] = static_cast<uint8_t>(getBitsFast(6));
                    break;
                case 1:
                    s[0] = s[1] = static_cast<uint8_t>(getBitsFast(6));
                    s[2] = static_cast<uint8_t>(getBitsFast(6));
                    break;
                case 2:
                    s[0] = s[1] = s[2] = static_cast<uint8_t>(getBitsFast(6));
                    break;
                default:
                    s[0] = static_cast<uint8_t>(getBitsFast(6));
                    s[1] = s[2] = static_cast<uint8_t>(getBitsFast(6));
                    break;
            }
        }
    }
}

void layer2ReadSamples(const uint8_t allocation[32][2], double samples[2][3][32],
                       const uint8_t scaleIndexes[32][2][3], FrameInfo* frame, int part) {
    const int channels = frame->channels;
    const int limit = frame->subbandLimit;
    const int bound = channels == 2 ? frame->jointStereoBound : limit;

    SampleBits bits;
    const Layer2AllocEntry* subband = frame->allocTable;
    int sb = 0;
    for (; sb < bound; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            int v = allocation[sb][ch];
            if (v == 0) {
                samples[ch][0][sb] = samples[ch][1][sb] = samples[ch][2][sb] = 0.0;
                continue;
            }
            const int scaleIndex = scaleIndexes[sb][ch][part];
            readSubband(bits, subband[v], &scaleIndex, 1, samples + ch, sb);
        }
        subband += 1 << subband[0].bits;
    }
    for (; sb < limit; ++sb) {
        int v = allocation[sb][0];
        if (v == 0) {
            for (int ch = 0; ch < 2; ++ch) samples[ch][0][sb] = samples[ch][1][sb] = samples[ch][2][sb] = 0.0;
        } else {
            const int scaleIndex[2] = {scaleIndexes[sb][0][part], scaleIndexes[sb][1][part]};
            readSubband(bits, subband[v], scaleIndex, 2, samples, sb);
        }
        subband += 1 << subband[0].bits;
    }
    for (; sb < 32; ++sb)
        for (int ch = 0; ch < channels; ++ch) samples[ch][0][sb] = samples[ch][1][sb] = samples[ch][2][sb] = 0.0;
}

int decodeLayer2(FrameInfo* frame, uint8_t* output, int* outBytes) {
    selectLayer2Table(frame);
    int bound = frame->mode == 1 ? 4 * (frame->modeExtension + 1) : frame->subbandLimit;
    frame->jointStereoBound = bound > frame->subbandLimit ? frame->subbandLimit : bound;

    uint8_t allocation[32][2];
    uint8_t scaleIndexes[32][2][3];
    double samples[2][3][32];
    layer2ReadAllocation(allocation, scaleIndexes, frame);

    // A damaged frame may ask for more sample data than its reservoir area
    // holds; it is refused rather than read from beyond the area.
    long available = (readLimit - readPointer) * 8L - bitIndex;
    if (sampleDataBits(allocation, frame) > available) return -1;

    int clipped = 0;
    for (int granule = 0; granule < 12; ++granule) {
        layer2ReadSamples(allocation, samples, scaleIndexes, frame, granule / 4);
        for (int row = 0; row < 3; ++row) {
            if (frame->channels == 2) {
                clipped += synthesizeStereo(samples[0][row], samples[1][row], output, outBytes);
            } else {
                clipped += synthesizeMono(samples[0][row], output, outBytes);
            }
        }
    }
    return clipped;
}

}  // namespace sorvil
