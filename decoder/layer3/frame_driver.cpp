// Layer III frame driver: side information, the step back into the bit
// reservoir, and the granule and channel loop down to the synthesis.
#include "decoder/layer3/layer3.h"

#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"
#include "decoder/layer3/huffman.h"
#include "decoder/layer3/hybrid.h"
#include "decoder/layer3/scale_factors.h"
#include "decoder/layer3/stereo.h"
#include "decoder/layer3/tables.h"
#include "decoder/synthesis.h"

namespace sorvil {

double spectrum[2][576];
double hybridOutput[2][18][32];

namespace {

constexpr int kTimeSlots = 18;
// The frame header's mode value for joint stereo.
constexpr int kJointStereo = 1;

// The first value pair of a region starting at long band `band`. The sum of
// the two region counts can name bands past the 23 entries of the table; such
// a region starts at the top of the spectrum, so no region length turns
// negative.
int regionStartPair(int samplingFrequency, int band) {
    if (band > 22) band = 22;
    return sfBandTable[samplingFrequency].longStart[band] / 2;
}

// Region 0 of a window-switching LSF granule ends after three short bands
// (short blocks) or eight long bands (start and stop blocks): pair 18 or 27
// at most rates. At 8 kHz the bands are twice as wide, so region 1 starts at
// pair 36 or 54; pair 18 for short blocks there would decode lines 36..71
// (half of short band 1 and all of band 2) with region 1's Huffman table.
int lsfWindowSwitchingRegion1(int blockType, int samplingFrequency) {
    const SfBandInfo& bands = sfBandTable[samplingFrequency];
    return blockType == 2 ? bands.shortStart[3] / 2 : bands.longStart[8] / 2;
}

void readGainsAndLengths(GranuleInfo* g, int msStereo) {
    g->part23Length = int32_t(getBits(12));
    g->bigValues = int32_t(getBitsFast(9));
    if (g->bigValues > kMaxPairs) g->bigValues = kMaxPairs;
    // The two extra quarter-steps are the 1/sqrt(2) of the mid/side matrix.
    g->gainBase = 256 - int32_t(getBitsFast(8)) + (msStereo ? 2 : 0);
}

// The window-switching fields shared by both readers; false for block type 0,
// which window switching may not name.
bool readWindowSwitching(GranuleInfo* g) {
    g->blockType = int32_t(getBitsFast(2));
    g->mixedBlock = int32_t(getOneBit());
    g->tableSelect[0] = int32_t(getBitsFast(5));
    g->tableSelect[1] = int32_t(getBitsFast(5));
    g->tableSelect[2] = 0;
    for (int w = 0; w < 3; ++w) g->windowGainBase[w] = g->gainBase + 8 * int32_t(getBitsFast(3));
    return g->blockType != 0;
}

void readRegions(GranuleInfo* g, int samplingFrequency) {
    for (int r = 0; r < 3; ++r) g->tableSelect[r] = int32_t(getBitsFast(5));
    const int region0Count = int(getBitsFast(4));
    const int region1Count = int(getBitsFast(3));
    g->region1Pair = regionStartPair(samplingFrequency, region0Count + 1);
    g->region2Pair = regionStartPair(samplingFrequency, region0Count + region1Count + 2);
    g->blockType = 0;
    g->mixedBlock = 0;
}

// Runs antialias and the hybrid filterbank for each channel, then hands the
// 18 time slots to the synthesis. Clipped samples are not reported.
void synthesizeGranule(int channels, GranuleInfo* granules[2], uint8_t* output, int* outBytes) {
    for (int ch = 0; ch < channels; ++ch) {
        antialias(spectrum[ch], granules[ch]);
        hybridFilterbank(spectrum[ch], hybridOutput[ch], ch, granules[ch]);
    }
    for (int slot = 0; slot < kTimeSlots; ++slot) {
        if (channels == 1) {
            synthesizeMono(hybridOutput[0][slot], output, outBytes);
        } else {
            synthesizeStereo(hybridOutput[0][slot], hybridOutput[1][slot], output, outBytes);
        }
    }
}

// Scale factors and spectrum of one granule and channel; false on overrun.
// Main data that has run past the reservoir area counts as an overrun before
// any scale factor is read there.
bool decodeChannel(const FrameInfo* frame, int channel, GranuleInfo* g, int scalefactors[39],
                   int intensityChannel, int illegalPositions[39]) {
    if (readPointer >= readLimit) return false;
    const int part2Bits = frame->lsf ? readScaleFactorsLsf(scalefactors, g, intensityChannel, illegalPositions)
                                     : readScaleFactorsMpeg1(scalefactors, g);
    return decodeSpectrum(spectrum[channel], scalefactors, g, frame->samplingFrequency, part2Bits) == 0;
}

}  // namespace

int readSideInfoMpeg1(SideInfo* sideInfo, int channels, int msStereo, int samplingFrequency) {
    sideInfo->mainDataBegin = getBits(9);
    sideInfo->privateBits = getBitsFast(channels == 1 ? 5 : 3);
    for (int ch = 0; ch < channels; ++ch) {
        sideInfo->channelGranules[ch][0].scfsi = -1;
        sideInfo->channelGranules[ch][1].scfsi = int32_t(getBitsFast(4));
    }
    for (int gr = 0; gr < 2; ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            GranuleInfo* g = &sideInfo->channelGranules[ch][gr];
            readGainsAndLengths(g, msStereo);
            g->scalefacCompress = int32_t(getBitsFast(4));
            if (getOneBit()) {
                if (!readWindowSwitching(g)) return -1;
                g->region1Pair = 18;
                g->region2Pair = kMaxPairs;
            } else {
                readRegions(g, samplingFrequency);
            }
            g->preflag = int32_t(getOneBit());
            g->scalefacScale = int32_t(getOneBit());
            g->count1TableSelect = int32_t(getOneBit());
        }
    }
    return 0;
}

int readSideInfoLsf(SideInfo* sideInfo, int channels, int msStereo, int samplingFrequency) {
    sideInfo->mainDataBegin = getBits(8);
    sideInfo->privateBits = getBitsFast(channels == 1 ? 1 : 2);
    for (int ch = 0; ch < channels; ++ch) {
        GranuleInfo* g = &sideInfo->channelGranules[ch][0];
        readGainsAndLengths(g, msStereo);
        g->scalefacCompress = int32_t(getBits(9));
        if (getOneBit()) {
            if (!readWindowSwitching(g)) return -1;
            g->region1Pair = lsfWindowSwitchingRegion1(g->blockType, samplingFrequency);
            g->region2Pair = kMaxPairs;
        } else {
            readRegions(g, samplingFrequency);
        }
        g->scalefacScale = int32_t(getOneBit());
        g->count1TableSelect = int32_t(getOneBit());
    }
    return 0;
}

int decodeLayer3(FrameInfo* frame, uint8_t* output, int* outBytes) {
    const int channels = frame->channels == 1 ? 1 : 2;
    const bool joint = frame->mode == kJointStereo;
    const int intensityStereo = joint && (frame->modeExtension & 1) ? 1 : 0;
    const int msStereo = joint && (frame->modeExtension & 2) ? 1 : 0;

    SideInfo sideInfo = {};
    const int granuleCount = frame->lsf ? 1 : 2;
    const int sideInfoResult = frame->lsf
                                   ? readSideInfoLsf(&sideInfo, channels, msStereo, frame->samplingFrequency)
                                   : readSideInfoMpeg1(&sideInfo, channels, msStereo, frame->samplingFrequency);
    if (sideInfoResult < 0) return -1;

    // No earlier frame to take the main data from: the frame yields nothing.
    if (stepBack(int(sideInfo.mainDataBegin)) < 0) return 0;

    // Granule 1 of an MPEG-1 frame reuses granule 0's values where scfsi says.
    int scalefactors[2][39] = {};
    // LSF intensity: channel 1's illegal position of each scale factor entry.
    int illegalPositions[39];
    for (int gr = 0; gr < granuleCount; ++gr) {
        GranuleInfo* granules[2] = {&sideInfo.channelGranules[0][gr], &sideInfo.channelGranules[1][gr]};
        if (!decodeChannel(frame, 0, granules[0], scalefactors[0], 0, nullptr)) return 0;
        if (channels == 2) {
            if (!decodeChannel(frame, 1, granules[1], scalefactors[1], intensityStereo, illegalPositions)) return 0;
            if (msStereo) applyMidSide(spectrum[0]);
            if (intensityStereo) {
                applyIntensityStereo(spectrum[0], scalefactors[1], illegalPositions, granules[1],
                                     frame->samplingFrequency, msStereo, frame->lsf);
            }
            if (msStereo || intensityStereo) equaliseActiveSubbands(granules[0], granules[1]);
        }
        synthesizeGranule(channels, granules, output, outBytes);
    }
    return 0;
}

}  // namespace sorvil
