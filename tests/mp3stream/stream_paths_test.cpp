// Decoding through the stream and its poll gives exactly the PCM of decoding
// frame by frame, for every stream whose frames keep the first frame's format.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "pcm_decode.h"
#include "support/playback_support.h"
#include "support/test_streams.h"

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

    std::set<std::string> formatChanges;
    for (const TestStream& listed : streamsWithAStream()) {
        const std::string& file = listed.path;
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
