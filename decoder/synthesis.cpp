#include "decoder/synthesis.h"

#include <bit>
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

// Two lanes of doubles; the compiler maps them to one vector register.
typedef double LanePair __attribute__((vector_size(16)));

// Rows 1..15 of the ring serve two samples each: j and 32 - j. For phase p
// (odd, 1..15) and ring column t, lane 0 holds the coefficient of sample j,
// (-1)^t Wn[j][(t - p) mod 16], and lane 1 that of sample 32 - j,
// -Wn[j][(p - 1 - t) mod 16]. Negating each product instead of the sum gives
// the same double, so both lanes are still the sums in order of t.
LanePair windowPairs[8][16][16];

// Row 0 alone (sample 0): the sign (-1)^t folded in.
double windowRow0[8][16];

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
#pragma GCC unroll 16
        for (int k = 0; k < Half; ++k) {
            sums[k] = x[k] + x[N - 1 - k];
            differences[k] = (x[k] - x[N - 1 - k]) * cosineTables[Stage][k];
        }
        fastDct<Half, Stage + 1>(sums, even);
        fastDct<Half, Stage + 1>(differences, odd);
#pragma GCC unroll 16
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

// Little-endian 16-bit store.
inline void storeSample(uint8_t* at, int16_t sample) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(at, &sample, 2);
    } else {
        uint16_t bits = static_cast<uint16_t>(sample);
        at[0] = static_cast<uint8_t>(bits & 0xFF);
        at[1] = static_cast<uint8_t>(bits >> 8);
    }
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
    const int phase = p >> 1;
    {
        const double* w = windowRow0[phase];
        double sum = 0.0;
        for (int t = 0; t < 16; ++t) sum += w[t] * h[t];
        pcm[0] = clipToSample(sum, &clipped);
    }
    // Rows 1..15, three side by side; each ring value is broadcast to both lanes.
    for (int j = 1; j < 16; j += 3) {
        const LanePair* w = windowPairs[phase][j];
        const double* row = h + j * kRingSlots;
        LanePair s0 = {0.0, 0.0}, s1 = {0.0, 0.0}, s2 = {0.0, 0.0};
        for (int t = 0; t < 16; ++t) {
            LanePair h0 = {row[t], row[t]};
            LanePair h1 = {row[t + 16], row[t + 16]};
            LanePair h2 = {row[t + 32], row[t + 32]};
            s0 += w[t] * h0;
            s1 += w[t + 16] * h1;
            s2 += w[t + 32] * h2;
        }
        pcm[j] = clipToSample(s0[0], &clipped);
        pcm[32 - j] = clipToSample(s0[1], &clipped);
        pcm[j + 1] = clipToSample(s1[0], &clipped);
        pcm[31 - j] = clipToSample(s1[1], &clipped);
        pcm[j + 2] = clipToSample(s2[0], &clipped);
        pcm[30 - j] = clipToSample(s2[1], &clipped);
    }
    {
        // Sample 16 takes the even columns only.
        const double* w = synthesisWindow[16] + 16 - p;
        const double* row = h + 16 * kRingSlots;
        double sum = 0.0;
        for (int t = 0; t < 16; t += 2) sum += w[t] * row[t];
        pcm[16] = clipToSample(sum, &clipped);
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

    for (int phase = 0; phase < 8; ++phase) {
        int p = 2 * phase + 1;
        for (int t = 0; t < 16; ++t) {
            double sign = (t & 1) ? -1.0 : 1.0;
            windowRow0[phase][t] = sign * synthesisWindow[0][(t - p + 16) & 15];
            for (int j = 1; j < 16; ++j) {
                windowPairs[phase][j][t][0] = sign * synthesisWindow[j][(t - p + 16) & 15];
                windowPairs[phase][j][t][1] = -synthesisWindow[j][(p - 1 - t + 16) & 15];
            }
        }
    }
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
