// Layer III joint stereo. Mid/side needs no scaling here: the side
// information already lowered both channels' gain by 2^(-1/2).
#include "decoder/layer3/stereo.h"

#include "decoder/layer3/tables.h"

namespace sorvil {

namespace {

constexpr int kLines = 576;
// The position that means "no intensity factor: leave the band as it is".
constexpr int kIllegalPosition = 7;

struct FactorTables {
    const double* left;
    const double* right;
    // LSF only: io^8, the factor that positions 16..31 add to the attenuated side.
    double extension;
};

FactorTables chooseFactorTables(const GranuleInfo* granule, int msStereo, int lsf) {
    if (!lsf) {
        if (msStereo) return {isRatioLeftMs, isRatioRightMs, 0.0};
        return {isRatioLeft, isRatioRight, 0.0};
    }
    const int row = granule->scalefacCompress & 1;
    const double extension = lsfIsLeft[row][15];  // io^((15 + 1) / 2)
    if (msStereo) return {lsfIsLeftMs[row], lsfIsRightMs[row], extension};
    return {lsfIsLeft[row], lsfIsRight[row], extension};
}

// The left and right factors of one position; false when the band stays as it
// is. The LSF intensity channel has 5-bit scale factors, so positions 16..31
// occur while the factor rows hold 16 entries. They follow the same formula,
// io^((p + 1) / 2) on the left for odd p and io^(p / 2) on the right for even
// p, which is position p - 16's pair with the attenuated side times io^8.
bool positionFactors(const FactorTables& tables, int position, double* left, double* right) {
    if (position == kIllegalPosition || position < 0) return false;
    if (position < 16) {
        *left = tables.left[position];
        *right = tables.right[position];
        return true;
    }
    if (tables.extension == 0.0 || position > 31) return false;
    const int base = position - 16;
    *left = tables.left[base];
    *right = tables.right[base];
    if (position % 2 == 1)
        *left *= tables.extension;
    else
        *right *= tables.extension;
    return true;
}

// Spreads channel 0's values of one band over both channels.
void processBand(double* spectra, const FactorTables& tables, int position, int firstLine, int count, int stride) {
    double left;
    double right;
    if (!positionFactors(tables, position, &left, &right)) return;
    double* channel0 = spectra;
    double* channel1 = spectra + kLines;
    for (int k = 0, line = firstLine; k < count && line < kLines; ++k, line += stride) {
        const double v = channel0[line];
        channel0[line] = v * left;
        channel1[line] = v * right;
    }
}

// Long bands from firstBand up to (not including) endBand, walked with a
// running line index; the top band 21 borrows band 20's position.
void processLongBands(double* spectra, const FactorTables& tables, const int* scalefactors, const SfBandInfo& bands,
                      int firstBand, int endBand) {
    if (firstBand < 0 || firstBand > 21) return;
    int line = bands.longStart[firstBand];
    for (int band = firstBand; band < endBand; ++band) {
        const int position = band == 21 ? scalefactors[20] : scalefactors[band];
        processBand(spectra, tables, position, line, bands.longWidth[band], 1);
        line += bands.longWidth[band];
    }
}

void processShortWindows(double* spectra, const FactorTables& tables, const int* scalefactors,
                         const GranuleInfo* granule, const SfBandInfo& bands) {
    const int mixed = granule->mixedBlock;
    for (int window = 0; window < 3; ++window) {
        // A mixed block's short part starts at band 3; its positions follow the
        // eight long ones.
        const int lowestBand = mixed ? 3 : 0;
        const int limit = granule->shortBandLimit[window];
        const int firstBand = limit < lowestBand ? lowestBand : limit;
        for (int band = firstBand; band < 12; ++band) {
            processBand(spectra, tables, scalefactors[3 * band + window - mixed], bands.shortStart[band] + window,
                        bands.shortWidth[band], 3);
        }
        // Band 12 has no position of its own and takes band 11's, whatever the
        // right channel holds there.
        processBand(spectra, tables, scalefactors[33 + window - mixed], bands.shortStart[12] + window,
                    bands.shortWidth[12], 3);
    }
    if (mixed && granule->shortBandLimit[0] <= 3 && granule->shortBandLimit[1] <= 3 &&
        granule->shortBandLimit[2] <= 3) {
        processLongBands(spectra, tables, scalefactors, bands, granule->longBandLimit, 8);
    }
}

}  // namespace

void applyMidSide(double* spectra) {
    double* mid = spectra;
    double* side = spectra + kLines;
    for (int i = 0; i < kLines; ++i) {
        const double m = mid[i];
        const double s = side[i];
        mid[i] = m + s;
        side[i] = m - s;
    }
}

void applyIntensityStereo(double* spectra, const int* scalefactors, const GranuleInfo* granule,
                          int samplingFrequency, int msStereo, int lsf) {
    const FactorTables tables = chooseFactorTables(granule, msStereo, lsf);
    const SfBandInfo& bands = sfBandTable[samplingFrequency];
    if (granule->blockType == 2) {
        processShortWindows(spectra, tables, scalefactors, granule, bands);
    } else {
        // A limit of 22 starts the walk at line 576: no intensity region at all.
        processLongBands(spectra, tables, scalefactors, bands, granule->longBandLimit, 22);
    }
}

void equaliseActiveSubbands(GranuleInfo* channel0, GranuleInfo* channel1) {
    if (static_cast<uint32_t>(channel1->activeSubbands) > static_cast<uint32_t>(channel0->activeSubbands))
        channel0->activeSubbands = channel1->activeSubbands;
    else
        channel1->activeSubbands = channel0->activeSubbands;
}

}  // namespace sorvil
