// Decoding through the stream and its poll gives exactly the PCM of decoding
// frame by frame, for every stream whose frames keep the first frame's format.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "pcm_decode.h"
#include "playback_support.h"

namespace sorvil::test {
namespace {

bool keepsFirstFrameFormat(const DecodedPcm& pcm) {
    if (pcm.frameBytes.empty()) return true;
    for (size_t i = 0; i < pcm.frameBytes.size(); ++i) {
        if (pcm.frameChannels[i] != pcm.channels) return false;
        if (pcm.frameBytes[i] != 0 && pcm.frameBytes[i] != pcm.frameBytes.back()) return false;
    }
    return true;
}

TEST(StreamPaths, StreamDecodeEqualsFrameByFrameDecode) {
    const std::vector<std::string> files = {
        "iso/M2L3_compl24.bit", "iso/M2L3_noise.bit", "iso/l2-fl10.bit", "iso/l2-fl11.bit", "iso/l2-fl12.bit",
        "iso/l2-fl13.bit", "iso/l2-fl14.bit", "iso/l2-fl15.bit", "iso/l2-fl16.bit", "iso/l3-compl.bit",
        "iso/l3-he_mode.bit", "iso/l3-hecommon.bit", "iso/l3-si.bit", "iso/l3-si_block.bit", "iso/l3-si_huff.bit",
        "iso/l3-test45.bit",
        "encoded/l2_mpeg1_32000_dual_192k.mp2", "encoded/l2_mpeg1_32000_mono_48k.mp2",
        "encoded/l2_mpeg1_44100_joint_128k_pad.mp2", "encoded/l2_mpeg1_44100_stereo_256k_pad.mp2",
        "encoded/l2_mpeg1_48000_mono_48k.mp2", "encoded/l2_mpeg1_48000_stereo_384k_crc.mp2",
        "encoded/l2_mpeg2_16000_mono_8k.mp2", "encoded/l2_mpeg2_22050_joint_64k_pad.mp2",
        "encoded/l2_mpeg2_24000_stereo_160k_crc.mp2", "encoded/l3_mpeg1_32000_mono_56k.mp3",
        "encoded/l3_mpeg1_44100_joint_128k.mp3", "encoded/l3_mpeg1_44100_joint_vbr.mp3",
        "encoded/l3_mpeg1_48000_stereo_320k_crc.mp3", "encoded/l3_mpeg25_11025_joint_32k.mp3",
        "encoded/l3_mpeg25_12000_stereo_48k_crc.mp3", "encoded/l3_mpeg25_8000_mono_8k.mp3",
        "encoded/l3_mpeg2_16000_mono_24k.mp3", "encoded/l3_mpeg2_22050_joint_64k.mp3",
        "encoded/l3_mpeg2_24000_ms_96k_crc.mp3", "streams/lame_vbr_xing_44100.mp3", "streams/single_frame.mp3",
        "streams/id3v2_and_id3v1.mp3", "streams/twolame_l2_mpeg2_24000_mono48.mp2"};
    std::set<std::string> formatChanges;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const Bytes image = loadImage(file);
        DecodedPcm byFrame;
        DecodedPcm byStream;
        ASSERT_TRUE(decodeFrameByFrame(image.data(), int(image.size()), &byFrame));
        ASSERT_TRUE(decodeThroughStream(image.data(), int(image.size()), &byStream));
        EXPECT_EQ(byStream.sampleRate, byFrame.sampleRate);
        EXPECT_EQ(byStream.channels, byFrame.channels);
        if (!keepsFirstFrameFormat(byFrame)) {
            formatChanges.insert(file);
            continue;
        }
        ASSERT_FALSE(byFrame.bytes.empty());
        EXPECT_EQ(byStream.bytes.size(), byFrame.bytes.size());
        EXPECT_TRUE(byStream.bytes == byFrame.bytes);
    }
    EXPECT_EQ(formatChanges, std::set<std::string>{"iso/l3-he_mode.bit"});
}

}  // namespace
}  // namespace sorvil::test
