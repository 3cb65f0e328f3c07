// Layer III tables: constant data of the standard and the tables built once
// by initLayer3Tables (gains, |x|^(4/3), windows, IMDCT constants, intensity
// factors, band walk lists, subband limits, LSF scale factor layouts).
#pragma once

#include <cstdint>

namespace sorvil {

struct SfBandInfo {
    int16_t longStart[23];
    int16_t longWidth[22];
    int16_t shortStart[14];  // interleaved: 3 x the band's first line in one window
    int16_t shortWidth[13];
};

extern const SfBandInfo sfBandTable[9];
extern const uint8_t slenTable[2][16];
extern const uint8_t lsfBandCounts[3][6][4];
extern const int pretab[22];
extern const double antialiasCoefficients[8];
extern const int imdctWindowLengths[4];

// Positions past 377 extend the standard table with the same formula, for the
// 5-bit scale factors of the LSF intensity channel.
constexpr int kGainPowerCount = 378 + 64;
extern double gainPowers[kGainPowerCount];
extern double powFourThirds[8207];
extern double antialiasCs[8];
extern double antialiasCa[8];
extern double imdctWindow[4][36];
extern double imdctWindowSigned[4][36];
extern double cos18[9];
extern double halfSecant36[9];
extern double halfSecant12[3];
extern double cosPi6;
extern double cosPi3;
extern double isRatioLeft[16];
extern double isRatioRight[16];
extern double isRatioLeftMs[16];
extern double isRatioRightMs[16];
extern double lsfIsLeft[2][16];
extern double lsfIsRight[2][16];
extern double lsfIsLeftMs[2][16];
extern double lsfIsRightMs[2][16];

// One band walk entry: the entry's pairs, the index of its first value, its
// window (0-2 short; 3 long, values at consecutive indices) and its band.
// Long-list entries carry the band's first line and window 3 too.
struct SpectrumMapEntry {
    int16_t pairs;
    int16_t firstIndex;
    int16_t window;
    int16_t band;
};
struct SpectrumMapLists {
    SpectrumMapEntry mixed[38];
    SpectrumMapEntry shortList[39];
    SpectrumMapEntry longList[22];
};
enum SpectrumMapList { MAP_MIXED = 0, MAP_SHORT = 1, MAP_LONG = 2 };
extern SpectrumMapLists spectrumMap[9];
// Number of entries of each list, [sampling frequency][SpectrumMapList].
extern int spectrumMapEnd[9][3];
extern int longSubbandLimit[9][23];
extern int shortSubbandLimit[9][14];
extern uint32_t lsfSlenNormal[512];
extern uint32_t lsfSlenIntensity[256];

void initLayer3Tables(int subbandCap);

}  // namespace sorvil
