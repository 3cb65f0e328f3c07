#include "decoder/layer3/tables.h"

namespace sorvil {

const SfBandInfo sfBandTable[9] = {};  // TODO
const uint8_t slenTable[2][16] = {};   // TODO
const uint8_t lsfBandCounts[3][6][4] = {};  // TODO
const int pretab[22] = {};  // TODO
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

void initLayer3Tables(int) {}  // TODO

}  // namespace sorvil
