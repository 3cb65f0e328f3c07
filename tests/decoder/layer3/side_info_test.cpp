// Layer III side information readers and the frame driver's outcomes: field
// order, clamps, region starts, window switching, and what a frame yields.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"
#include "decoder/layer3/layer3.h"
#include "decoder/layer3/tables.h"
#include "support/bit_string.h"

namespace sorvil {
namespace {

using test::BitString;

// One granule and channel's fields as they stand in the bitstream.
struct GranuleFields {
    unsigned part23Length = 0;
    unsigned bigValues = 0;
    unsigned globalGain = 210;
    unsigned scalefacCompress = 0;
    bool windowSwitching = false;
    unsigned blockType = 0;
    unsigned mixedBlock = 0;
    unsigned tableSelect[3] = {0, 0, 0};
    unsigned subblockGain[3] = {0, 0, 0};
    unsigned region0Count = 0;
    unsigned region1Count = 0;
    unsigned preflag = 0;
    unsigned scalefacScale = 0;
    unsigned count1TableSelect = 0;
};

void writeGranule(BitString& w, const GranuleFields& f, bool lsf) {
    w.put(f.part23Length, 12);
    w.put(f.bigValues, 9);
    w.put(f.globalGain, 8);
    w.put(f.scalefacCompress, lsf ? 9 : 4);
    w.put(f.windowSwitching, 1);
    if (f.windowSwitching) {
        w.put(f.blockType, 2);
        w.put(f.mixedBlock, 1);
        w.put(f.tableSelect[0], 5);
        w.put(f.tableSelect[1], 5);
        for (unsigned gain : f.subblockGain) w.put(gain, 3);
    } else {
        for (unsigned table : f.tableSelect) w.put(table, 5);
        w.put(f.region0Count, 4);
        w.put(f.region1Count, 3);
    }
    if (!lsf) w.put(f.preflag, 1);
    w.put(f.scalefacScale, 1);
    w.put(f.count1TableSelect, 1);
}

// MPEG-1 side information: granules [gr][ch].
BitString mpeg1SideInfo(int channels, unsigned mainDataBegin, const unsigned scfsi[2],
                        const GranuleFields granules[2][2]) {
    BitString w;
    w.put(mainDataBegin, 9);
    w.put(0, channels == 1 ? 5 : 3);
    for (int ch = 0; ch < channels; ++ch) w.put(scfsi[ch], 4);
    for (int gr = 0; gr < 2; ++gr)
        for (int ch = 0; ch < channels; ++ch) writeGranule(w, granules[gr][ch], false);
    return w;
}

BitString lsfSideInfo(int channels, unsigned mainDataBegin, const GranuleFields granules[2]) {
    BitString w;
    w.put(mainDataBegin, 8);
    w.put(0, channels == 1 ? 1 : 2);
    for (int ch = 0; ch < channels; ++ch) writeGranule(w, granules[ch], true);
    return w;
}

class SideInfoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { initLayer3Tables(32); }

    // Points the bit cursor at the bytes; they must outlive the read.
    void readFrom(std::vector<uint8_t>& bytes) {
        readPointer = bytes.data();
        bitIndex = 0;
    }
};

TEST_F(SideInfoTest, Mpeg1StereoFieldsLandInTheirGranulesInBitstreamOrder) {
    GranuleFields granules[2][2];
    for (int gr = 0; gr < 2; ++gr) {
        for (int ch = 0; ch < 2; ++ch) {
            GranuleFields& f = granules[gr][ch];
            const unsigned n = 2 * gr + ch;
            f.part23Length = 1000 + n;
            f.bigValues = 100 + n;
            f.globalGain = 150 + n;
            f.scalefacCompress = 3 + n;
            f.tableSelect[0] = 1 + n;
            f.tableSelect[1] = 5 + n;
            f.tableSelect[2] = 9 + n;
            f.region0Count = 2 + n;
            f.region1Count = 1 + n;
            f.preflag = n & 1;
            f.scalefacScale = (n >> 1) & 1;
            f.count1TableSelect = 1;
        }
    }
    const unsigned scfsi[2] = {0xA, 0x5};
    BitString w = mpeg1SideInfo(2, 300, scfsi, granules);
    EXPECT_EQ(w.length(), 256);  // 32 bytes of stereo side information
    std::vector<uint8_t> bytes = w.padded(0, 64);
    readFrom(bytes);

    SideInfo info;
    ASSERT_EQ(readSideInfoMpeg1(&info, 2, 0, 0), 0);
    EXPECT_EQ(readPointer, bytes.data() + 32);
    EXPECT_EQ(info.mainDataBegin, 300u);
    const SfBandInfo& bands = sfBandTable[0];
    for (int gr = 0; gr < 2; ++gr) {
        for (int ch = 0; ch < 2; ++ch) {
            const GranuleInfo& g = info.channelGranules[ch][gr];
            const int n = 2 * gr + ch;
            EXPECT_EQ(g.scfsi, gr == 0 ? -1 : int(scfsi[ch]));
            EXPECT_EQ(g.part23Length, 1000 + n);
            EXPECT_EQ(g.bigValues, 100 + n);
            EXPECT_EQ(g.gainBase, 256 - (150 + n));
            EXPECT_EQ(g.scalefacCompress, 3 + n);
            EXPECT_EQ(g.blockType, 0);
            EXPECT_EQ(g.mixedBlock, 0);
            EXPECT_EQ(g.tableSelect[2], 9 + n);
            EXPECT_EQ(g.region1Pair, bands.longStart[2 + n + 1] / 2);
            EXPECT_EQ(g.region2Pair, bands.longStart[(2 + n) + (1 + n) + 2] / 2);
            EXPECT_EQ(g.preflag, n & 1);
            EXPECT_EQ(g.scalefacScale, (n >> 1) & 1);
            EXPECT_EQ(g.count1TableSelect, 1);
        }
    }
}

TEST_F(SideInfoTest, BigValuesAbove288AreClampedAndMidSideMovesEveryGainBase) {
    GranuleFields granules[2][2];
    for (auto& row : granules)
        for (GranuleFields& f : row) {
            f.bigValues = 300;
            f.globalGain = 100;
            f.windowSwitching = true;
            f.blockType = 2;
            f.subblockGain[0] = 1;
            f.subblockGain[1] = 7;
        }
    const unsigned scfsi[2] = {0, 0};
    std::vector<uint8_t> bytes = mpeg1SideInfo(2, 0, scfsi, granules).padded(0, 64);
    for (int msStereo : {0, 1}) {
        readFrom(bytes);
        SideInfo info;
        ASSERT_EQ(readSideInfoMpeg1(&info, 2, msStereo, 0), 0);
        for (int gr = 0; gr < 2; ++gr) {
            for (int ch = 0; ch < 2; ++ch) {
                const GranuleInfo& g = info.channelGranules[ch][gr];
                EXPECT_EQ(g.bigValues, 288);
                EXPECT_EQ(g.gainBase, 156 + 2 * msStereo);
                EXPECT_EQ(g.windowGainBase[0], g.gainBase + 8);
                EXPECT_EQ(g.windowGainBase[1], g.gainBase + 56);
                EXPECT_EQ(g.windowGainBase[2], g.gainBase);
            }
        }
    }
}

TEST_F(SideInfoTest, WindowSwitchingRegionStartsPerBlockTypeMpeg1AndLsfIncluding8kHzShortBlocks) {
    for (unsigned blockType : {1u, 2u, 3u}) {
        GranuleFields granules[2][2];
        for (auto& row : granules)
            for (GranuleFields& f : row) {
                f.windowSwitching = true;
                f.blockType = blockType;
                f.mixedBlock = 1;
                f.tableSelect[0] = 7;
                f.tableSelect[1] = 24;
            }
        const unsigned scfsi[2] = {0, 0};
        std::vector<uint8_t> bytes = mpeg1SideInfo(1, 0, scfsi, granules).padded(0, 64);
        readFrom(bytes);
        SideInfo info;
        ASSERT_EQ(readSideInfoMpeg1(&info, 1, 0, 1), 0);
        const GranuleInfo& g = info.channelGranules[0][1];
        EXPECT_EQ(g.blockType, int(blockType));
        EXPECT_EQ(g.mixedBlock, 1);  // kept as read, whatever the block type
        EXPECT_EQ(g.tableSelect[0], 7);
        EXPECT_EQ(g.tableSelect[1], 24);
        EXPECT_EQ(g.tableSelect[2], 0);
        EXPECT_EQ(g.region1Pair, 18);
        EXPECT_EQ(g.region2Pair, 288);

        for (int sf : {3, 6, 8}) {
            std::vector<uint8_t> lsfBytes = lsfSideInfo(2, 0, granules[0]).padded(0, 64);
            readFrom(lsfBytes);
            SideInfo lsfInfo;
            ASSERT_EQ(readSideInfoLsf(&lsfInfo, 2, 0, sf), 0);
            // At 8 kHz the bands are twice as wide: three short bands end at pair 36.
            const int expected = blockType == 2 ? (sf == 8 ? 36 : 18) : sf == 8 ? 54 : 27;
            EXPECT_EQ(lsfInfo.channelGranules[1][0].region1Pair, expected) << "block type " << blockType << " sf " << sf;
            EXPECT_EQ(lsfInfo.channelGranules[1][0].region2Pair, 288);
        }
    }
}

TEST_F(SideInfoTest, LsfReadsNineBitScalefacCompressAndNoPreflag) {
    GranuleFields granules[2];
    granules[0].scalefacCompress = 500;
    granules[0].part23Length = 4095;
    granules[0].scalefacScale = 1;
    granules[1].scalefacCompress = 311;
    granules[1].count1TableSelect = 1;
    BitString w = lsfSideInfo(2, 255, granules);
    EXPECT_EQ(w.length(), 136);  // 17 bytes of LSF stereo side information
    std::vector<uint8_t> bytes = w.padded(0, 64);
    readFrom(bytes);
    SideInfo info;
    ASSERT_EQ(readSideInfoLsf(&info, 2, 0, 4), 0);
    EXPECT_EQ(readPointer, bytes.data() + 17);
    EXPECT_EQ(info.mainDataBegin, 255u);
    EXPECT_EQ(info.channelGranules[0][0].scalefacCompress, 500);
    EXPECT_EQ(info.channelGranules[0][0].part23Length, 4095);
    EXPECT_EQ(info.channelGranules[0][0].scalefacScale, 1);
    EXPECT_EQ(info.channelGranules[1][0].scalefacCompress, 311);
    EXPECT_EQ(info.channelGranules[1][0].count1TableSelect, 1);
}

TEST_F(SideInfoTest, WindowSwitchingWithBlockTypeZeroIsAnErrorEvenInTheLastGranuleAndChannel) {
    GranuleFields granules[2][2];
    granules[1][1].windowSwitching = true;
    granules[1][1].blockType = 0;
    const unsigned scfsi[2] = {0, 0};
    std::vector<uint8_t> bytes = mpeg1SideInfo(2, 0, scfsi, granules).padded(0, 64);
    readFrom(bytes);
    SideInfo info;
    EXPECT_EQ(readSideInfoMpeg1(&info, 2, 0, 0), -1);

    std::vector<uint8_t> lsfBytes = lsfSideInfo(2, 0, granules[1]).padded(0, 64);
    readFrom(lsfBytes);
    EXPECT_EQ(readSideInfoLsf(&info, 2, 0, 3), -1);
}

// region0_count + region1_count + 2 can name entries 23 and 24 of a 23-entry
// table: both region starts stay within the 288 pairs, in order.
TEST_F(SideInfoTest, RegionCountsPastTheBandTableStartRegionTwoAtTheTop) {
    for (int sf = 0; sf < 9; ++sf) {
        for (unsigned region1Count : {5u, 6u, 7u}) {
            GranuleFields granules[2][2];
            for (auto& row : granules)
                for (GranuleFields& f : row) {
                    f.region0Count = 15;
                    f.region1Count = region1Count;
                }
            const unsigned scfsi[2] = {0, 0};
            std::vector<uint8_t> bytes = mpeg1SideInfo(1, 0, scfsi, granules).padded(0, 64);
            readFrom(bytes);
            SideInfo info;
            ASSERT_EQ(readSideInfoMpeg1(&info, 1, 0, sf), 0);
            const GranuleInfo& g = info.channelGranules[0][0];
            EXPECT_EQ(g.region1Pair, sfBandTable[sf].longStart[16] / 2);
            EXPECT_EQ(g.region2Pair, 288) << "sf " << sf << " region1_count " << region1Count;
            EXPECT_LE(g.region1Pair, g.region2Pair);
        }
    }
}

// --- The frame driver, through whole frames -------------------------------

// A frame body of zero side information (silent granules) after a header.
std::vector<uint8_t> silentFrame(uint32_t header, unsigned mainDataBegin) {
    FrameInfo info{};
    EXPECT_EQ(decodeHeader(&info, header), 1);
    std::vector<uint8_t> frame(4 + size_t(info.frameSize), 0);
    for (int i = 0; i < 4; ++i) frame[i] = uint8_t(header >> (24 - 8 * i));
    // main_data_begin leads the side information (9 bits MPEG-1, 8 bits LSF).
    if (info.lsf) {
        frame[4] = uint8_t(mainDataBegin);
    } else {
        frame[4] = uint8_t(mainDataBegin >> 1);
        frame[5] = uint8_t((mainDataBegin & 1) << 7);
    }
    return frame;
}

class FrameDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = std::make_unique<DecoderState>();
        decoderInit(state_.get());
    }
    int decode(const std::vector<uint8_t>& frame, int* outBytes) {
        *outBytes = -7;
        return decodeFrame(state_.get(), frame.data(), int(frame.size()), output_, sizeof output_, outBytes);
    }
    std::unique_ptr<DecoderState> state_;
    uint8_t output_[4608];
};

TEST_F(FrameDriverTest, OutputBytesPerFrameForMonoStereoAndLsf) {
    struct Case {
        uint32_t header;
        int bytes;
    };
    const Case cases[] = {
        {0xFFFB90C4, 2304},  // MPEG-1, 44.1 kHz, single channel
        {0xFFFB9004, 4608},  // MPEG-1, stereo
        {0xFFFB9064, 4608},  // MPEG-1, joint stereo with mid/side
        {0xFFF390C4, 1152},  // MPEG-2, 22.05 kHz, single channel
        {0xFFF39044, 2304},  // MPEG-2, joint stereo
        {0xFFE390C4, 1152},  // MPEG-2.5, 11.025 kHz, single channel
    };
    for (const Case& c : cases) {
        SetUp();
        int outBytes;
        ASSERT_EQ(decode(silentFrame(c.header, 0), &outBytes), DEC_OK) << std::hex << c.header;
        EXPECT_EQ(outBytes, c.bytes) << std::hex << c.header;
        for (int i = 0; i < outBytes; ++i) ASSERT_EQ(output_[i], 0) << std::hex << c.header << " byte " << i;
    }
}

TEST_F(FrameDriverTest, FirstFrameReachingIntoAnEarlierFrameSucceedsWithoutOutput) {
    int outBytes;
    EXPECT_EQ(decode(silentFrame(0xFFFB9004, 1), &outBytes), DEC_OK);
    EXPECT_EQ(outBytes, 0);
    EXPECT_EQ(state_->previousFrameSize, 413);
    // The next frame may then take main data from it.
    EXPECT_EQ(decode(silentFrame(0xFFFB9004, 100), &outBytes), DEC_OK);
    EXPECT_EQ(outBytes, 4608);
}

TEST_F(FrameDriverTest, BlockTypeZeroWithWindowSwitchingMakesTheFrameAnError) {
    std::vector<uint8_t> frame = silentFrame(0xFFFB90C4, 0);
    // Mono MPEG-1: 18 bits before granule 0; its window_switching_flag sits
    // after 12 + 9 + 8 + 4 bits, and block type 0 follows as two zero bits.
    const int bit = 18 + 33;
    frame[4 + bit / 8] |= uint8_t(0x80 >> (bit % 8));
    int outBytes;
    EXPECT_EQ(decode(frame, &outBytes), DEC_ERR);
}

// Main data whose cursor stands at or past the end of the reservoir area's
// trusted bytes is an overrun: no scale factors are read there.
TEST_F(FrameDriverTest, MainDataPastTheReservoirAreaEndsTheFrameQuietly) {
    currentDecoder = state_.get();
    ASSERT_EQ(decodeHeader(&state_->frame, 0xFFFB90C4), 1);
    std::vector<uint8_t> frame = silentFrame(0xFFFB90C4, 0);
    uint8_t* body = state_->reservoir[0] + kReservoirLeadIn;
    std::memcpy(body, frame.data() + 4, frame.size() - 4);
    readPointer = body;
    bitIndex = 0;
    readLimit = body + 17;  // the side information ends exactly here
    int outBytes = 0;
    EXPECT_EQ(decodeLayer3(&state_->frame, output_, &outBytes), 0);
    EXPECT_EQ(outBytes, 0);
    EXPECT_LE(readPointer, readLimit);
}

}  // namespace
}  // namespace sorvil
