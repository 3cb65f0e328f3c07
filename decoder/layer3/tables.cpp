// Layer III tables: the standard's constant tables and the tables built once
// by initLayer3Tables. Every angle is an integer multiple of one stored
// constant (the double nearest pi/72, pi/36, ...) and every power goes through
// pow, so the built values are the same on every run and platform.
#include "decoder/layer3/tables.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "decoder/layer3/huffman.h"

namespace sorvil {

// Scale factor band boundaries: ISO/IEC 11172-3 (44.1, 48, 32 kHz), ISO/IEC
// 13818-3 (22.05, 24, 16 kHz; 11.025 and 12 kHz reuse 16 kHz) and 8 kHz.
const SfBandInfo sfBandTable[9] = {
    // 44.1 kHz
    {{0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576},
     {4, 4, 4, 4, 4, 4, 6, 6, 8, 8, 10, 12, 16, 20, 24, 28, 34, 42, 50, 54, 76, 158},
     {0, 12, 24, 36, 48, 66, 90, 120, 156, 198, 252, 318, 408, 576},
     {4, 4, 4, 4, 6, 8, 10, 12, 14, 18, 22, 30, 56}},
    // 48 kHz
    {{0, 4, 8, 12, 16, 20, 24, 30, 36, 42, 50, 60, 72, 88, 106, 128, 156, 190, 230, 276, 330, 384, 576},
     {4, 4, 4, 4, 4, 4, 6, 6, 6, 8, 10, 12, 16, 18, 22, 28, 34, 40, 46, 54, 54, 192},
     {0, 12, 24, 36, 48, 66, 84, 114, 150, 192, 240, 300, 378, 576},
     {4, 4, 4, 4, 6, 6, 10, 12, 14, 16, 20, 26, 66}},
    // 32 kHz
    {{0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 54, 66, 82, 102, 126, 156, 194, 240, 296, 364, 448, 550, 576},
     {4, 4, 4, 4, 4, 4, 6, 6, 8, 10, 12, 16, 20, 24, 30, 38, 46, 56, 68, 84, 102, 26},
     {0, 12, 24, 36, 48, 66, 90, 126, 174, 234, 312, 414, 540, 576},
     {4, 4, 4, 4, 6, 8, 12, 16, 20, 26, 34, 42, 12}},
    // 22.05 kHz
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {6, 6, 6, 6, 6, 6, 8, 10, 12, 14, 16, 20, 24, 28, 32, 38, 46, 52, 60, 68, 58, 54},
     {0, 12, 24, 36, 54, 72, 96, 126, 168, 222, 300, 396, 522, 576},
     {4, 4, 4, 6, 6, 8, 10, 14, 18, 26, 32, 42, 18}},
    // 24 kHz
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 114, 136, 162, 194, 232, 278, 332, 394, 464, 540, 576},
     {6, 6, 6, 6, 6, 6, 8, 10, 12, 14, 16, 18, 22, 26, 32, 38, 46, 54, 62, 70, 76, 36},
     {0, 12, 24, 36, 54, 78, 108, 144, 186, 240, 312, 408, 540, 576},
     {4, 4, 4, 6, 8, 10, 12, 14, 18, 24, 32, 44, 12}},
    // 16 kHz
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {6, 6, 6, 6, 6, 6, 8, 10, 12, 14, 16, 20, 24, 28, 32, 38, 46, 52, 60, 68, 58, 54},
     {0, 12, 24, 36, 54, 78, 108, 144, 186, 240, 312, 402, 522, 576},
     {4, 4, 4, 6, 8, 10, 12, 14, 18, 24, 30, 40, 18}},
    // 11.025, as 16 kHz
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {6, 6, 6, 6, 6, 6, 8, 10, 12, 14, 16, 20, 24, 28, 32, 38, 46, 52, 60, 68, 58, 54},
     {0, 12, 24, 36, 54, 78, 108, 144, 186, 240, 312, 402, 522, 576},
     {4, 4, 4, 6, 8, 10, 12, 14, 18, 24, 30, 40, 18}},
    // 12, as 16 kHz
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {6, 6, 6, 6, 6, 6, 8, 10, 12, 14, 16, 20, 24, 28, 32, 38, 46, 52, 60, 68, 58, 54},
     {0, 12, 24, 36, 54, 78, 108, 144, 186, 240, 312, 402, 522, 576},
     {4, 4, 4, 6, 8, 10, 12, 14, 18, 24, 30, 40, 18}},
    // 8 kHz
    {{0, 12, 24, 36, 48, 60, 72, 88, 108, 132, 160, 192, 232, 280, 336, 400, 476, 566, 568, 570, 572, 574, 576},
     {12, 12, 12, 12, 12, 12, 16, 20, 24, 28, 32, 40, 48, 56, 64, 76, 90, 2, 2, 2, 2, 2},
     {0, 24, 48, 72, 108, 156, 216, 288, 372, 480, 486, 492, 498, 576},
     {8, 8, 8, 12, 16, 20, 24, 28, 36, 2, 2, 2, 26}},

};

const uint8_t slenTable[2][16] = {
    {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
    {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3},
};

// nr_of_sfb_block of ISO/IEC 13818-3 as [block class: long, short, mixed][row][partition].
const uint8_t lsfBandCounts[3][6][4] = {
    {{6, 5, 5, 5}, {6, 5, 7, 3}, {11, 10, 0, 0}, {7, 7, 7, 0}, {6, 6, 6, 3}, {8, 8, 5, 0}},
    {{9, 9, 9, 9}, {9, 9, 12, 6}, {18, 18, 0, 0}, {12, 12, 12, 0}, {12, 9, 9, 6}, {15, 12, 9, 0}},
    {{6, 9, 9, 9}, {6, 9, 12, 6}, {15, 18, 0, 0}, {6, 15, 12, 0}, {6, 12, 9, 6}, {6, 18, 9, 0}},
};

const int pretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};
const double antialiasCoefficients[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
const int imdctWindowLengths[4] = {36, 36, 12, 36};

double gainPowers[kGainPowerCount];
double powFourThirds[8207];
double antialiasCs[8];
double antialiasCa[8];
double imdctWindow[4][36];
double imdctWindowSigned[4][36];
double cos18[9];
double halfSecant36[9];
double halfSecant12[3];
double cosPi6;
double cosPi3;
double isRatioLeft[16];
double isRatioRight[16];
double isRatioLeftMs[16];
double isRatioRightMs[16];
double lsfIsLeft[2][16];
double lsfIsRight[2][16];
double lsfIsLeftMs[2][16];
double lsfIsRightMs[2][16];
SpectrumMapLists spectrumMap[9];
int spectrumMapEnd[9][3];
int longSubbandLimit[9][23];
int shortSubbandLimit[9][14];
uint32_t lsfSlenNormal[512];
uint32_t lsfSlenIntensity[256];

namespace {

// The doubles nearest pi/n (written out: M_PI / n is not always the nearest).
constexpr double kPiOver72 = 0.04363323129985823942309227;
constexpr double kPiOver36 = 0.08726646259971647884618454;
constexpr double kPiOver24 = 0.1308996938995747182692768;
constexpr double kPiOver18 = 0.1745329251994329576923691;
constexpr double kPiOver12 = 0.2617993877991494365385536;
constexpr double kPiOver6 = 0.5235987755982988730771072;
constexpr double kPiOver3 = 1.047197551196597746154214;

void buildPowers() {
    for (int k = 0; k < kGainPowerCount; ++k) gainPowers[k] = std::pow(2.0, -0.25 * (k - 256 + 210));
    for (int n = 0; n < 8207; ++n) powFourThirds[n] = std::pow(double(n), 4.0 / 3.0);
}

void buildAntialias() {
    for (int i = 0; i < 8; ++i) {
        double ci = antialiasCoefficients[i];
        double sq = std::sqrt(1.0 + ci * ci);
        antialiasCs[i] = 1.0 / sq;
        antialiasCa[i] = ci / sq;
    }
}

void buildWindows() {
    for (auto& row : imdctWindow) std::fill(std::begin(row), std::end(row), 0.0);
    // The standard's windows, each entry divided by the fast transform's output
    // cosine: 0.5 / cos(pi (2i + 19) / 72) for the long rows.
    for (int i = 0; i < 36; ++i) {
        double normal = 0.5 * std::sin(kPiOver72 * (2 * i + 1)) / std::cos(kPiOver72 * (2 * i + 19));
        if (i < 18) {
            imdctWindow[0][i] = normal;
            imdctWindow[1][i] = normal;
        } else {
            imdctWindow[0][i] = normal;
            imdctWindow[3][i] = normal;
        }
    }
    for (int i = 18; i < 24; ++i) imdctWindow[1][i] = 0.5 / std::cos(kPiOver72 * (2 * i + 19));
    for (int i = 24; i < 30; ++i)
        imdctWindow[1][i] = 0.5 * std::sin(kPiOver24 * (2 * (i - 24) + 13)) / std::cos(kPiOver72 * (2 * i + 19));
    for (int i = 6; i < 12; ++i)
        imdctWindow[3][i] = 0.5 * std::sin(kPiOver24 * (2 * (i - 6) + 1)) / std::cos(kPiOver72 * (2 * i + 19));
    for (int i = 12; i < 18; ++i) imdctWindow[3][i] = 0.5 / std::cos(kPiOver72 * (2 * i + 19));
    for (int i = 0; i < 12; ++i)
        imdctWindow[2][i] = 0.5 * std::sin(kPiOver24 * (2 * i + 1)) / std::cos(kPiOver24 * (2 * i + 7));

    for (int r = 0; r < 4; ++r) {
        std::fill(std::begin(imdctWindowSigned[r]), std::end(imdctWindowSigned[r]), 0.0);
        for (int i = 0; i < imdctWindowLengths[r]; ++i)
            imdctWindowSigned[r][i] = (i & 1) ? -imdctWindow[r][i] : imdctWindow[r][i];
    }
}

void buildImdctConstants() {
    for (int k = 0; k < 9; ++k) cos18[k] = std::cos(kPiOver18 * k);
    for (int k = 0; k < 9; ++k) halfSecant36[k] = 0.5 / std::cos(kPiOver36 * (2 * k + 1));
    for (int k = 0; k < 3; ++k) halfSecant12[k] = 0.5 / std::cos(kPiOver12 * (2 * k + 1));
    cosPi6 = std::cos(kPiOver6);
    cosPi3 = std::cos(kPiOver3);
}

void buildIntensityFactors() {
    const double root2 = std::sqrt(2.0);
    for (int i = 0; i < 16; ++i) {
        double t = std::tan(kPiOver12 * i);
        isRatioLeft[i] = t / (1.0 + t);
        isRatioRight[i] = 1.0 / (1.0 + t);
        isRatioLeftMs[i] = root2 * t / (1.0 + t);
        isRatioRightMs[i] = root2 / (1.0 + t);
    }
    for (int j = 0; j < 2; ++j) {
        double base = std::pow(2.0, -0.25 * (j + 1));
        for (int i = 0; i < 16; ++i) {
            double p1 = (i & 1) ? std::pow(base, (i + 1) / 2.0) : 1.0;
            double p2 = ((i & 1) == 0 && i > 0) ? std::pow(base, i / 2.0) : 1.0;
            lsfIsLeft[j][i] = p1;
            lsfIsRight[j][i] = p2;
            lsfIsLeftMs[j][i] = root2 * p1;
            lsfIsRightMs[j][i] = root2 * p2;
        }
    }
}

SpectrumMapEntry mapEntry(int pairs, int firstIndex, int window, int band) {
    return SpectrumMapEntry{int16_t(pairs), int16_t(firstIndex), int16_t(window), int16_t(band)};
}

// Appends windows 0-2 of short band b at index; returns the index after the band.
int appendShortBand(SpectrumMapEntry* list, int& count, const SfBandInfo& bands, int b, int index) {
    int pairs = bands.shortWidth[b] / 2;
    for (int w = 0; w < 3; ++w) list[count++] = mapEntry(pairs, index + w, w, b);
    return index + 6 * pairs;
}

void buildSpectrumMaps() {
    for (int sf = 0; sf < 9; ++sf) {
        const SfBandInfo& bands = sfBandTable[sf];
        SpectrumMapLists& lists = spectrumMap[sf];

        int count = 0;
        int index = 0;
        for (int b = 0; b < 8; ++b) {
            lists.mixed[count++] = mapEntry(bands.longWidth[b] / 2, index, 3, b);
            index += bands.longWidth[b];
        }
        for (int b = 3; b < 13; ++b) index = appendShortBand(lists.mixed, count, bands, b, index);
        spectrumMapEnd[sf][MAP_MIXED] = count;

        count = 0;
        index = 0;
        for (int b = 0; b < 13; ++b) index = appendShortBand(lists.shortList, count, bands, b, index);
        spectrumMapEnd[sf][MAP_SHORT] = count;

        for (int b = 0; b < 22; ++b) lists.longList[b] = mapEntry(bands.longWidth[b] / 2, bands.longStart[b], 3, b);
        spectrumMapEnd[sf][MAP_LONG] = 22;
    }
}

void buildSubbandLimits(int subbandCap) {
    for (int sf = 0; sf < 9; ++sf) {
        for (int i = 0; i < 23; ++i)
            longSubbandLimit[sf][i] = std::min(subbandCap, (sfBandTable[sf].longStart[i] + 7) / 18 + 1);
        for (int i = 0; i < 14; ++i)
            shortSubbandLimit[sf][i] = std::min(subbandCap, (sfBandTable[sf].shortStart[i] - 1) / 18 + 1);
    }
}

uint32_t layoutWord(int s0, int s1, int s2, int s3, int row, int preflag) {
    return uint32_t(s0 | s1 << 3 | s2 << 6 | s3 << 9 | row << 12 | preflag << 15);
}

// The standard's decodings of the LSF scalefac_compress (ISO/IEC 13818-3),
// for the normal channel and for the intensity channel (index halved).
void buildLsfLayouts() {
    for (int a = 0; a < 5; ++a)
        for (int b = 0; b < 5; ++b)
            for (int c = 0; c < 4; ++c)
                for (int d = 0; d < 4; ++d) lsfSlenNormal[80 * a + 16 * b + 4 * c + d] = layoutWord(a, b, c, d, 0, 0);
    for (int a = 0; a < 5; ++a)
        for (int b = 0; b < 5; ++b)
            for (int c = 0; c < 4; ++c) lsfSlenNormal[400 + 20 * a + 4 * b + c] = layoutWord(a, b, c, 0, 1, 0);
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 3; ++b) lsfSlenNormal[500 + 3 * a + b] = layoutWord(a, b, 0, 0, 2, 1);

    for (int a = 0; a < 5; ++a)
        for (int b = 0; b < 6; ++b)
            for (int c = 0; c < 6; ++c) lsfSlenIntensity[36 * a + 6 * b + c] = layoutWord(a, b, c, 0, 3, 0);
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b)
            for (int c = 0; c < 4; ++c) lsfSlenIntensity[180 + 16 * a + 4 * b + c] = layoutWord(a, b, c, 0, 4, 0);
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 3; ++b) lsfSlenIntensity[244 + 3 * a + b] = layoutWord(a, b, 0, 0, 5, 0);
}

}  // namespace

void initLayer3Tables(int subbandCap) {
    buildPowers();
    buildAntialias();
    buildWindows();
    buildImdctConstants();
    buildIntensityFactors();
    buildSpectrumMaps();
    buildSubbandLimits(subbandCap);
    buildLsfLayouts();
    buildHuffmanLookups();
}

}  // namespace sorvil
