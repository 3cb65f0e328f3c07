#include "decoder/synthesis.h"

#include <cmath>
#include <cstring>

#include "decoder/decoder_state.h"

namespace sorvil {

double cosineTables[5][16];
double synthesisWindow[17][32];

namespace {

constexpr int kRingSlots = 16;
constexpr int kRows = 17;
constexpr int kHalfValues = kRows * kRingSlots;  // 272

// synthesisWindow with the alternating sign of the rows 0..15 sums folded in:
// the sign (-1)^t of ring column t is -(-1)^c for window column c = (t - p)
// mod 16 because the phase p is always odd, and 16 columns keep the parity.
double signedWindow[kRows][32];

// Lee's fast DCT: X[m] = sum_k x[k] cos(m (2k + 1) pi / (2N)). Even outputs
// are the DCT of the mirrored sums, odd outputs the recombined DCT of the
// mirrored differences scaled by cosineTables[Stage]; unrolled by templates.
template <int N, int Stage>
inline void fastDct(const double* x, double* X) {
    if constexpr (N == 1) {
        X[0] = x[0];
    } else {
        constexpr int Half = N / 2;
        double sums[Half], differences[Half], even[Half], odd[Half];
        for (int k = 0; k < Half; ++k) {
            sums[k] = x[k] + x[N - 1 - k];
            differences[k] = (x[k] - x[N - 1 - k]) * cosineTables[Stage][k];
        }
        fastDct<Half, Stage + 1>(sums, even);
        fastDct<Half, Stage + 1>(differences, odd);
        for (int m = 0; m < Half - 1; ++m) {
            X[2 * m] = even[m];
            X[2 * m + 1] = odd[m] + odd[m + 1];
        }
        X[N - 2] = even[Half - 1];
        X[N - 1] = odd[Half - 1];
    }
}

// Matrixing of one slot: X[16 - r] for r = 0..16 into the first column,
// X[16 + r] for r = 0..15 into the second (X[32] is 0 and never stored).
// Columns are strided by kRingSlots within a half.
inline void dct64(const double* subbandSamples, double* firstColumn, double* secondColumn) {
    double X[32];
    fastDct<32, 0>(subbandSamples, X);
    for (int r = 0; r <= 16; ++r) firstColumn[r * kRingSlots] = X[16 - r];
    for (int r = 0; r < 16; ++r) secondColumn[r * kRingSlots] = X[16 + r];
}

inline int16_t clipToSample(double sum, int* clipped) {
    if (sum > 32767.0) {
        ++*clipped;
        return 32767;
    }
    if (sum < -32768.0) {
        ++*clipped;
        return -32768;
    }
    return static_cast<int16_t>(sum);  // truncation toward zero
}

inline void storeSample(uint8_t* at, int16_t sample) {
    uint16_t bits = static_cast<uint16_t>(sample);
    at[0] = static_cast<uint8_t>(bits & 0xFF);
    at[1] = static_cast<uint8_t>(bits >> 8);
}

// Runs one slot of one channel through the ring and the window; returns the
// clip count and leaves the 32 samples in pcm.
int synthesizeSlot(const double* subbandSamples, int channel, int16_t pcm[32]) {
    double* halves = currentDecoder->synthBuffers[channel][0];
    int o = channel == 0 ? (currentDecoder->synthOffset + 15) & 15 : currentDecoder->synthOffset;

    const double* h;
    int p;
    if (o & 1) {
        dct64(subbandSamples, halves + kHalfValues + ((o + 1) & 15), halves + o);
        h = halves;
        p = o;
    } else {
        dct64(subbandSamples, halves + o, halves + kHalfValues + o + 1);
        h = halves + kHalfValues;
        p = o + 1;
    }
    currentDecoder->synthOffset = o;

    int clipped = 0;
    // Samples 0..15: window columns (t - p) mod 16 for t = 0..15 are the
    // consecutive columns 16 - p .. 31 - p of a repeated row. Four sums run
    // side by side, each still added up in order of t.
    for (int j = 0; j < 16; j += 4) {
        const double* w = signedWindow[j] + 16 - p;
        const double* row = h + j * kRingSlots;
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        for (int t = 0; t < 16; ++t) {
            s0 += w[t] * row[t];
            s1 += w[t + 32] * row[t + 16];
            s2 += w[t + 64] * row[t + 32];
            s3 += w[t + 96] * row[t + 48];
        }
        pcm[j] = clipToSample(s0, &clipped);
        pcm[j + 1] = clipToSample(s1, &clipped);
        pcm[j + 2] = clipToSample(s2, &clipped);
        pcm[j + 3] = clipToSample(s3, &clipped);
    }
    {
        const double* w = synthesisWindow[16] + 16 - p;
        const double* row = h + 16 * kRingSlots;
        double sum = 0.0;
        for (int t = 0; t < 16; t += 2) sum += w[t] * row[t];
        pcm[16] = clipToSample(sum, &clipped);
    }
    // Samples 17..31: window columns (p - 1 - t) mod 16 run backwards from
    // column p + 15 of the repeated row.
    for (int q = 15; q >= 7; q -= 4) {
        const double* w = synthesisWindow[q] + p + 15;
        const double* row = h + q * kRingSlots;
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        for (int t = 0; t < 16; ++t) {
            s0 += w[-t] * row[t];
            s1 += w[-t - 32] * row[t - 16];
            s2 += w[-t - 64] * row[t - 32];
            s3 += w[-t - 96] * row[t - 48];
        }
        pcm[32 - q] = clipToSample(-s0, &clipped);
        pcm[33 - q] = clipToSample(-s1, &clipped);
        pcm[34 - q] = clipToSample(-s2, &clipped);
        pcm[35 - q] = clipToSample(-s3, &clipped);
    }
    {
        const double* w = synthesisWindow[3] + p + 15;
        const double* row = h + 3 * kRingSlots;
        double s0 = 0.0, s1 = 0.0, s2 = 0.0;
        for (int t = 0; t < 16; ++t) {
            s0 += w[-t] * row[t];
            s1 += w[-t - 32] * row[t - 16];
            s2 += w[-t - 64] * row[t - 32];
        }
        pcm[29] = clipToSample(-s0, &clipped);
        pcm[30] = clipToSample(-s1, &clipped);
        pcm[31] = clipToSample(-s2, &clipped);
    }
    return clipped;
}

}  // namespace

void makeSynthesisTables(double scale) {
    for (int i = 0; i < 5; ++i) {
        int entries = 16 >> i;
        for (int k = 0; k < entries; ++k)
            cosineTables[i][k] = 1.0 / (2.0 * std::cos(M_PI * (2 * k + 1) / static_cast<double>(64 >> i)));
    }

    double factor = -scale;
    for (int i = 0; i < 512; ++i) {
        int j = i < 256 ? i : 512 - i;
        double value = windowBase[j] * factor / 65536.0;
        int row = i % 32;
        if (row <= 16) {
            synthesisWindow[row][i / 32] = value;
            synthesisWindow[row][i / 32 + 16] = value;
        }
        if (i % 64 == 63) factor = -factor;
    }

    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < 32; ++c) signedWindow[r][c] = (c & 1) ? synthesisWindow[r][c] : -synthesisWindow[r][c];
}

int synthesize(const double* subbandSamples, int channel, uint8_t* output, int* outOffset) {
    int16_t pcm[32];
    int clipped = synthesizeSlot(subbandSamples, channel, pcm);
    uint8_t* at = output + *outOffset + 2 * channel;
    for (int j = 0; j < 32; ++j) storeSample(at + 4 * j, pcm[j]);
    *outOffset += 128;
    return clipped;
}

int synthesizeMono(const double* subbandSamples, uint8_t* output, int* outOffset) {
    int16_t pcm[32];
    int clipped = synthesizeSlot(subbandSamples, 0, pcm);
    uint8_t* at = output + *outOffset;
    for (int j = 0; j < 32; ++j) storeSample(at + 2 * j, pcm[j]);
    *outOffset += 64;
    return clipped;
}

}  // namespace sorvil
