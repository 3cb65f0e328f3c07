// Polyphase synthesis filterbank: 32 subband samples of one channel to 32
// clipped 16-bit PCM samples, with the delay-line ring of currentDecoder.
#pragma once

#include <cstdint>

namespace sorvil {

extern double cosineTables[5][16];
extern const int windowBase[257];
extern double synthesisWindow[17][32];

void makeSynthesisTables(double scale);
// Writes channel's 32 samples interleaved (4 bytes apart) at output + *outOffset
// (+2 for channel 1) and adds 128 to *outOffset. Returns the clip count.
int synthesize(const double* subbandSamples, int channel, uint8_t* output, int* outOffset);
// Both channels of one slot, as synthesize for channel 0 then channel 1.
int synthesizeStereo(const double* left, const double* right, uint8_t* output, int* outOffset);
// Channel 0 alone, packed 2 bytes apart; adds 64 to *outOffset.
int synthesizeMono(const double* subbandSamples, uint8_t* output, int* outOffset);

}  // namespace sorvil
