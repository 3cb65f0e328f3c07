#include "support/playback_support.h"

#include <algorithm>

#include "frame_feed.h"

namespace sorvil::test {

int Playback::poll() {
    const size_t before = sink->delivered().size();
    const int result = mp3StreamPoll(stream);
    if (sink->delivered().size() > before) {
        const Bytes& buffer = sink->delivered().back();
        pcmPerPoll.push_back(toSigned(Bytes(buffer.begin(), buffer.begin() + mp3StreamPolledPcmBytes(stream))));
    }
    return result;
}

std::vector<int> Playback::pollToEnd(int maxPolls) {
    std::vector<int> results;
    for (int i = 0; i < maxPolls; ++i) {
        results.push_back(poll());
        if (results.back() != POLL_OK) break;
    }
    return results;
}

std::unique_ptr<Playback> startPlayback(Bytes image, int bufferFrames, bool looping, int bufferLimit) {
    auto playback = std::make_unique<Playback>();
    playback->image = std::move(image);
    playback->stream = mp3StreamCreate(playback->image.data(), int(playback->image.size()));
    if (!playback->stream) return nullptr;
    Mp3Stream* stream = playback->stream;
    playback->sink = std::make_unique<MemoryAudioOutput>(stream->outBytesPerFrame * bufferFrames, bufferLimit);
    mp3StreamStartPlayback(stream, playback->sink.get(), bufferFrames, looping);
    return playback;
}

Bytes toSigned(const Bytes& unsignedPcm) {
    Bytes pcm = unsignedPcm;
    for (size_t i = 1; i < pcm.size(); i += 2) pcm[i] ^= 0x80;
    return pcm;
}

Bytes concat(const std::vector<Bytes>& pieces) {
    Bytes all;
    for (const Bytes& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
    return all;
}

std::vector<Bytes> referenceFrames(const Mp3Stream* stream, int passes) {
    auto state = std::make_unique<DecoderState>();
    decoderInit(state.get());
    std::vector<Bytes> frames;
    bool failed = false;
    for (int pass = 0; pass < passes && !failed; ++pass)
        feedDecoder(state.get(), stream->dataStart, size_t(stream->dataLength), FeedPlan{},
                    [&](int result, const uint8_t* pcm, int pcmBytes, const DecoderState&) {
                        failed = result == DEC_ERR;
                        if (result == DEC_OK) frames.emplace_back(pcm, pcm + pcmBytes);
                        return true;
                    });
    decoderExit(state.get());
    return frames;
}

std::vector<Bytes> layOutInBuffers(const std::vector<Bytes>& frames, int bufferBytes) {
    std::vector<Bytes> buffers;
    int total = bufferBytes;
    for (const Bytes& frame : frames) {
        if (frame.empty()) continue;
        if (total >= bufferBytes) {
            buffers.emplace_back(size_t(bufferBytes), 0);
            total = 0;
        }
        const int kept = std::min(int(frame.size()), bufferBytes - total);
        std::copy(frame.begin(), frame.begin() + kept, buffers.back().begin() + total);
        total += kept;
    }
    return buffers;
}

bool isUnsignedSilence(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i + 1 < size; i += 2)
        if (bytes[i] != 0x00 || bytes[i + 1] != 0x80) return false;
    return true;
}

int bufferFramesWhere(int frameCount, bool divides) {
    for (int count = 2; count <= 8; ++count)
        if ((frameCount % count == 0) == divides) return count;
    return 1;
}

}  // namespace sorvil::test
