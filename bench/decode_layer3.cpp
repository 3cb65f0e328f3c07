// Layer III decoding speed: whole 4-minute 44.1 kHz stereo files (128 kbit/s
// and VBR) as times real time, beside ffmpeg decoding the same file on one thread
// (when it is installed), and the cost of the later stages per granule.
//
// The files are made at start-up: a generated signal (tones, a chirp, noise
// bursts and clicks, so that every block type occurs) encoded by lame into
// /tmp/sorvil-bench-layer3-128k.mp3 and, at VBR quality 2, into
// /tmp/sorvil-bench-layer3-vbr.mp3, kept there for later runs. Without
// lame the file benchmarks are skipped.
//
// Where the time goes inside the decoder (Huffman, stereo, antialias and
// hybrid, synthesis) is best read from an instruction profile of the file
// decode, for example:
//   valgrind --tool=callgrind --callgrind-out-file=/tmp/l3.cg
//       bench_decode_layer3 --benchmark_filter=DecodeFile --benchmark_min_time=0.01
//   callgrind_annotate --inclusive=yes /tmp/l3.cg
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "decoder/decoder_state.h"
#include "decoder/layer3/hybrid.h"
#include "decoder/layer3/layer3.h"
#include "decoder/layer3/stereo.h"
#include "decoder/synthesis.h"
#include "bench_signal.h"
#include "frame_feed.h"
#include "pcm_compare.h"

namespace {

using namespace sorvil;

constexpr int kRate = 44100;
constexpr int kSeconds = 240;

// The encoded file, made once per machine at a fixed path in /tmp (so that
// bench/run.sh can time other decoders on it too); empty when lame is missing.
class EncodedFile {
public:
    EncodedFile(std::string path, std::string lameRate) : mp3_(std::move(path)), lameRate_(std::move(lameRate)) {
        if (access(mp3_.c_str(), R_OK) != 0) make();
        readBinaryFile(mp3_, &bytes_);
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    const std::string& path() const { return mp3_; }

private:
    void make() {
        if (std::system("command -v lame >/dev/null 2>&1") != 0) return;
        const std::string raw = "/tmp/sorvil-bench-layer3-" + std::to_string(getpid()) + ".raw";
        const std::string partial = mp3_ + "." + std::to_string(getpid());
        const std::vector<int16_t> signal = benchSignal(kRate, kSeconds);
        std::FILE* out = std::fopen(raw.c_str(), "wb");
        if (!out) return;
        std::fwrite(signal.data(), sizeof(int16_t), signal.size(), out);
        std::fclose(out);
        const std::string command = "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m j " +
                                    lameRate_ + " -t " + raw + " " + partial + " 2>/dev/null";
        if (std::system(command.c_str()) == 0) std::rename(partial.c_str(), mp3_.c_str());
        std::remove(partial.c_str());
        std::remove(raw.c_str());
    }

    std::string mp3_;
    std::string lameRate_;
    std::vector<uint8_t> bytes_;
};

const EncodedFile& encodedFile() {
    static EncodedFile file("/tmp/sorvil-bench-layer3-128k.mp3", "-b 128");
    return file;
}

// The same signal at lame's VBR quality 2, the usual setting for a collection.
const EncodedFile& encodedVbrFile() {
    static EncodedFile file("/tmp/sorvil-bench-layer3-vbr.mp3", "-V 2");
    return file;
}

// CPU seconds used so far by this process, or by its finished children.
double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Decodes the whole image from one input buffer; returns PCM bytes produced.
long long decodeImage(DecoderState* decoder, const std::vector<uint8_t>& image) {
    decoderInit(decoder);
    long long pcmBytes = 0;
    feedDecoder(decoder, image.data(), image.size(), FeedPlan{},
                [&pcmBytes](int result, const uint8_t* pcm, int bytes, const DecoderState&) {
                    if (result == DEC_OK) pcmBytes += bytes;
                    benchmark::DoNotOptimize(pcm);
                    return true;
                });
    decoderExit(decoder);
    return pcmBytes;
}

void decodeFileBenchmark(benchmark::State& state, const EncodedFile& file) {
    const std::vector<uint8_t>& image = file.bytes();
    if (image.empty()) {
        state.SkipWithError("lame is not installed");
        return;
    }
    auto decoder = std::make_unique<DecoderState>();
    double audioSeconds = 0;
    const double cpuStart = cpuSeconds(RUSAGE_SELF);
    for (auto _ : state) {
        const long long pcmBytes = decodeImage(decoder.get(), image);
        audioSeconds = double(pcmBytes) / (4.0 * kRate);
    }
    const double cpuPerDecode = (cpuSeconds(RUSAGE_SELF) - cpuStart) / double(state.iterations());
    state.counters["audio_s"] = audioSeconds;
    state.counters["x_realtime"] =
        benchmark::Counter(audioSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
    // On a loaded machine the CPU figure is the fairer comparison.
    state.counters["x_realtime_cpu"] = audioSeconds / cpuPerDecode;
}

void BM_DecodeFile(benchmark::State& state) { decodeFileBenchmark(state, encodedFile()); }
BENCHMARK(BM_DecodeFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_DecodeVbrFile(benchmark::State& state) { decodeFileBenchmark(state, encodedVbrFile()); }
BENCHMARK(BM_DecodeVbrFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// ffmpeg as a black box on the same file, process start included.
void BM_FfmpegOneThread(benchmark::State& state) {
    const EncodedFile& file = encodedFile();
    if (file.bytes().empty() || std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        state.SkipWithError("lame or ffmpeg is not installed");
        return;
    }
    const std::string command =
        "ffmpeg -nostdin -loglevel error -threads 1 -i " + file.path() + " -f s16le -y /dev/null";
    const double cpuStart = cpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    const double cpuPerDecode = (cpuSeconds(RUSAGE_CHILDREN) - cpuStart) / double(state.iterations());
    state.counters["x_realtime"] =
        benchmark::Counter(double(kSeconds) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["x_realtime_cpu"] = double(kSeconds) / cpuPerDecode;
}
BENCHMARK(BM_FfmpegOneThread)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

// --- Later stages, per granule of two channels with every subband active ---

std::vector<double> randomLines(unsigned seed, int count) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> value(-3000.0, 3000.0);
    std::vector<double> lines(static_cast<size_t>(count));
    for (double& v : lines) v = value(generator);
    return lines;
}

struct StageFixture {
    StageFixture() : decoder(std::make_unique<DecoderState>()) {
        decoderInit(decoder.get());
        currentDecoder = decoder.get();
    }
    std::unique_ptr<DecoderState> decoder;
};

void BM_StageMidSide(benchmark::State& state) {
    const std::vector<double> lines = randomLines(1, 1152);
    for (auto _ : state) {
        std::copy(lines.begin(), lines.end(), &spectrum[0][0]);
        applyMidSide(&spectrum[0][0]);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StageMidSide);

void BM_StageAntialiasHybrid(benchmark::State& state) {
    StageFixture fixture;
    const std::vector<double> lines = randomLines(2, 1152);
    GranuleInfo granule{};
    granule.blockType = int(state.range(0));
    granule.activeSubbands = 32;
    for (auto _ : state) {
        std::copy(lines.begin(), lines.end(), &spectrum[0][0]);
        for (int ch = 0; ch < 2; ++ch) {
            antialias(spectrum[ch], &granule);
            hybridFilterbank(spectrum[ch], hybridOutput[ch], ch, &granule);
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StageAntialiasHybrid)->Arg(0)->Arg(2);

void BM_StageSynthesis(benchmark::State& state) {
    StageFixture fixture;
    const std::vector<double> lines = randomLines(3, 2 * 18 * 32);
    std::copy(lines.begin(), lines.end(), &hybridOutput[0][0][0]);
    static uint8_t output[kMinimumOutputCapacity];
    for (auto _ : state) {
        int outBytes = 0;
        for (int slot = 0; slot < 18; ++slot) {
            int channel0Bytes = outBytes;
            synthesize(hybridOutput[0][slot], 0, output, &channel0Bytes);
            synthesize(hybridOutput[1][slot], 1, output, &outBytes);
        }
        benchmark::DoNotOptimize(output);
    }
}
BENCHMARK(BM_StageSynthesis);

}  // namespace

BENCHMARK_MAIN();
