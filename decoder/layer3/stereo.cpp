// Layer III joint stereo. Mid/side needs no scaling here: the side
// information already lowered both channels' gain by 2^(-1/2).
#include "decoder/layer3/stereo.h"

#include "decoder/layer3/tables.h"

namespace sorvil {

namespace {

constexpr int kLines = 576;
// The position that means "no intensity factor: leave the band as it is" in
// an MPEG-1 frame. An LSF band's is the largest value of its scale factor's
// width, given by the reader.
constexpr int kMpeg1IllegalPosition = 7;
// For a band that is processed whatever its position.
constexpr int kNoIllegalPosition = -1;

struct FactorTables {
    const double* left;
    const double* right;
    bool lsf;
    // LSF only: io^8, the factor that positions 16..31 add to the attenuated side.
    double extension;
    // LSF only: each scale factor entry's illegal position.
    const int* illegalPositions;
};

FactorTables chooseFactorTables(const GranuleInfo* granule, const int* illegalPositions, int msStereo, int lsf) {
    if (!lsf) {
        if (msStereo) return {isRatioLeftMs, isRatioRightMs, false, 0.0, nullptr};
        return {isRatioLeft, isRatioRight, false, 0.0, nullptr};
    }
    const int row = granule->scalefacCompress & 1;
    const double extension = lsfIsLeft[row][15];  // io^((15 + 1) / 2)
    if (msStereo) return {lsfIsLeftMs[row], lsfIsRightMs[row], true, extension, illegalPositions};
    return {lsfIsLeft[row], lsfIsRight[row], true, extension, illegalPositions};
}

// The left and right factors of one position; false when the band stays as it
// is. The LSF intensity channel has 5-bit scale factors, so positions 16..31
// occur while the factor rows hold 16 entries. They follow the same formula,
// io^((p + 1) / 2) on the left for odd p and io^(p / 2) on the right for even
// p, which is position p - 16's pair with the attenuated side times io^8.
bool positionFactors(const FactorTables& tables, int position, int illegalPosition, double* left, double* right) {
    if (position == illegalPosition || position < 0) return false;
    if (position < 16) {
        *left = tables.left[position];
        *right = tables.right[position];
        return true;
    }
    if (!tables.lsf || position > 31) return false;
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
void processBand(double* spectra, const FactorTables& tables, int position, int illegalPosition, int firstLine,
                 int count, int stride) {
    double left;
    double right;
    if (!positionFactors(tables, position, illegalPosition, &left, &right)) return;
    double* channel0 = spectra;
    double* channel1 = spectra + kLines;
    for (int k = 0, line = firstLine; k < count && line < kLines; ++k, line += stride) {
        const double v = channel0[line];
        channel0[line] = v * left;
        channel1[line] = v * right;
    }
}

// A band with its position and illegal position from scale factor entry `entry`.
void processEntry(double* spectra, const FactorTables& tables, const int* scalefactors, int entry, int firstLine,
                  int count, int stride) {
    const int illegal = tables.lsf ? tables.illegalPositions[entry] : kMpeg1IllegalPosition;
    processBand(spectra, tables, scalefactors[entry], illegal, firstLine, count, stride);
}

// The top band has no position of its own and borrows that of the band below
// (entry belowEntry). In an LSF frame that holds only when the band below is
// itself intensity-coded; otherwise it carries an ordinary scale factor, and
// the top band takes position 0.
void processTopBand(double* spectra, const FactorTables& tables, const int* scalefactors, int belowEntry,
                    bool belowIsIntensity, int firstLine, int count, int stride) {
    if (tables.lsf && !belowIsIntensity)
        processBand(spectra, tables, 0, kNoIllegalPosition, firstLine, count, stride);
    else
        processEntry(spectra, tables, scalefactors, belowEntry, firstLine, count, stride);
}

// Long bands from firstBand up to (not including) endBand, walked with a
// running line index; the top band 21 borrows band 20's position.
void processLongBands(double* spectra, const FactorTables& tables, const int* scalefactors, const SfBandInfo& bands,
                      int firstBand, int endBand) {
    if (firstBand < 0 || firstBand > 21) return;
    int line = bands.longStart[firstBand];
    for (int band = firstBand; band < endBand; ++band) {
        if (band == 21)
            processTopBand(spectra, tables, scalefactors, 20, firstBand <= 20, line, bands.longWidth[band], 1);
        else
            processEntry(spectra, tables, scalefactors, band, line, bands.longWidth[band], 1);
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
            processEntry(spectra, tables, scalefactors, 3 * band + window - mixed, bands.shortStart[band] + window,
                         bands.shortWidth[band], 3);
        }
        // Band 12 takes band 11's position. An MPEG-1 frame processes it
        // whatever the right channel holds there; in an LSF frame a window whose
        // right channel holds values in band 12 has no intensity region.
        if (tables.lsf && limit > 12) continue;
        processTopBand(spectra, tables, scalefactors, 33 + window - mixed, firstBand <= 11,
                       bands.shortStart[12] + window, bands.shortWidth[12], 3);
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

void applyIntensityStereo(double* spectra, const int* scalefactors, const int* illegalPositions,
                          const GranuleInfo* granule, int samplingFrequency, int msStereo, int lsf) {
    const FactorTables tables = chooseFactorTables(granule, illegalPositions, msStereo, lsf);
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
