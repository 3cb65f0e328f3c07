// The stream decoding loop against decoding frame by frame: the same layer
// III stream decoded through polls into memory audio buffers of 1, 4 and 16
// frames, and by decodeFrameByFrame. "x_realtime" is seconds of audio decoded
// per second of wall time; the difference between the paths is the poll's own
// work (filling buffers with silence, the sign flip, the frame area copy).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "mp3stream/mp3stream.h"
#include "mp3stream/player/stream_poll.h"
#include "pcm_compare.h"
#include "pcm_decode.h"
#include "memory_audio_output.h"

namespace {

const std::vector<uint8_t>& benchStream() {
    static const std::vector<uint8_t> image = [] {
        std::vector<uint8_t> bytes;
        sorvil::readBinaryFile(std::string(SORVIL_SOURCE_DIR) + "/tests/data/iso/l3-compl.bit", &bytes);
        return bytes;
    }();
    return image;
}

// A sink that hands out one buffer forever and keeps nothing, so that only
// the decoding loop is measured.
class DiscardingOutput final : public sorvil::AudioOutput {
public:
    explicit DiscardingOutput(int bytes) : buffer_(size_t(bytes)) {}
    void* getBuffer() override { return buffer_.data(); }
    void freeBuffer() override { benchmark::DoNotOptimize(buffer_.data()); }
    void stop() override {}

private:
    std::vector<uint8_t> buffer_;
};

void setSeconds(benchmark::State& state, double seconds) {
    state.counters["x_realtime"] =
        benchmark::Counter(seconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

void PollIntoBuffers(benchmark::State& state) {
    const std::vector<uint8_t>& image = benchStream();
    const int bufferFrames = int(state.range(0));
    double seconds = 0.0;
    for (auto _ : state) {
        sorvil::Mp3Stream* stream = sorvil::mp3StreamCreate(image.data(), int(image.size()));
        if (!stream) {
            state.SkipWithError("no stream");
            return;
        }
        DiscardingOutput output(stream->outBytesPerFrame * bufferFrames);
        mp3StreamStartPlayback(stream, &output, bufferFrames, false);
        while (sorvil::mp3StreamPoll(stream) == sorvil::POLL_OK) {
        }
        seconds = double(sorvil::mp3StreamTotalFrames(stream)) * sorvil::mp3StreamFrameMs(stream) / 1000.0;
        sorvil::mp3StreamDestroy(stream);
    }
    setSeconds(state, seconds);
}
BENCHMARK(PollIntoBuffers)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

// The whole bench stream decoded by `decode`, the stream's loop or the
// frame-by-frame feed.
template <bool (*decode)(const uint8_t*, int, sorvil::PcmSink*, long*)>
void DecodeWhole(benchmark::State& state) {
    const std::vector<uint8_t>& image = benchStream();
    sorvil::DecodedPcm pcm;
    for (auto _ : state) decode(image.data(), int(image.size()), &pcm, nullptr);
    setSeconds(state, double(pcm.bytes.size()) / (2.0 * pcm.channels * pcm.sampleRate));
}
BENCHMARK(DecodeWhole<sorvil::decodeThroughStream>)->Name("DecodeThroughStream")->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeWhole<sorvil::decodeFrameByFrame>)->Name("DecodeFrameByFrame")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
