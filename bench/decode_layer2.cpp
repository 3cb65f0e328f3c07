// Layer II decode speed: a 4-minute 44.1 kHz stereo 192 kbit/s stream, made
// at bench time with twolame from the benchmarks' signal (bench_signal.h), decoded in process, by
// the sorvil-decode tool and, when present, by ffmpeg on one thread. The
// "x_realtime" counter is seconds of audio decoded per second of wall time.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_signal.h"
#include "pcm_compare.h"
#include "pcm_decode.h"

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 240;
const char* const kSignalPath = "/tmp/sorvil-bench-layer2.raw";
const char* const kStreamPath = "/tmp/sorvil-bench-layer2-192k.mp2";

bool fileExists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

void writeSignal() {
    const std::vector<int16_t> pcm = sorvil::benchSignal(kRate, kSeconds);
    std::FILE* f = std::fopen(kSignalPath, "wb");
    if (!f) return;
    std::fwrite(pcm.data(), sizeof(int16_t), pcm.size(), f);
    std::fclose(f);
}

// The stream, made once per machine; empty when twolame is missing.
const std::vector<uint8_t>& benchStream() {
    static std::vector<uint8_t> stream = [] {
        if (!fileExists(kStreamPath)) {
            writeSignal();
            std::string command = std::string("twolame --quiet -r -s 44100 -N 2 -b 192 ") + kSignalPath + " " +
                                  kStreamPath + " >/dev/null 2>&1";
            if (std::system(command.c_str()) != 0) std::remove(kStreamPath);
            std::remove(kSignalPath);
        }
        std::vector<uint8_t> bytes;
        sorvil::readBinaryFile(kStreamPath, &bytes);
        return bytes;
    }();
    return stream;
}

std::string toolPath() {
    // bench/bench_decode_layer2 -> tools/sorvil-decode in the same build folder.
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "";
    std::string path(self, static_cast<size_t>(n));
    path = path.substr(0, path.rfind('/'));
    path = path.substr(0, path.rfind('/'));
    return path + "/tools/sorvil-decode";
}

// Runs a command once per iteration and reports its wall time.
void runCommand(benchmark::State& state, const std::string& command) {
    double total = 0.0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        int status = std::system(command.c_str());
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != 0) {
            state.SkipWithError(("failed: " + command).c_str());
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
    }
    state.counters["x_realtime"] = kSeconds * static_cast<double>(state.iterations()) / total;
}

void DecodeInProcess(benchmark::State& state) {
    const std::vector<uint8_t>& stream = benchStream();
    if (stream.empty()) {
        state.SkipWithError("no layer II stream (is twolame installed?)");
        return;
    }
    sorvil::DecodedPcm pcm;
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (!sorvil::decodeFrameByFrame(stream.data(), static_cast<int>(stream.size()), &pcm)) {
            state.SkipWithError("decode failed");
            return;
        }
        benchmark::DoNotOptimize(pcm.bytes.data());
    }
    double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (pcm.bytes.size() < static_cast<size_t>(kRate) * kSeconds * 4) state.SkipWithError("short decode");
    state.counters["x_realtime"] = kSeconds * static_cast<double>(state.iterations()) / total;
}
BENCHMARK(DecodeInProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void DecodeWithSorvilDecodeTool(benchmark::State& state) {
    if (benchStream().empty()) {
        state.SkipWithError("no layer II stream (is twolame installed?)");
        return;
    }
    runCommand(state, toolPath() + " " + kStreamPath + " /dev/null");
}
BENCHMARK(DecodeWithSorvilDecodeTool)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void DecodeWithFfmpegOneThread(benchmark::State& state) {
    if (benchStream().empty()) {
        state.SkipWithError("no layer II stream (is twolame installed?)");
        return;
    }
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        state.SkipWithError("ffmpeg not installed");
        return;
    }
    runCommand(state, std::string("ffmpeg -loglevel error -threads 1 -i ") + kStreamPath +
                          " -f s16le -y /dev/null");
}
BENCHMARK(DecodeWithFfmpegOneThread)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
