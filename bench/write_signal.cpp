// Writes the benchmarks' test signal as raw 16-bit little-endian stereo PCM at
// 44.1 kHz, for encoders run from scripts (bench/collection.py):
//
//   bench_write_signal SECONDS OUT.raw
//
// The signal is the one the decoder benchmarks encode, so every benchmark
// works on the same kind of audio.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench_signal.h"

int main(int argc, char** argv) {
    const int seconds = argc == 3 ? std::atoi(argv[1]) : 0;
    if (seconds <= 0) {
        std::fprintf(stderr, "Usage: bench_write_signal SECONDS OUT.raw\n");
        return 2;
    }
    const std::vector<int16_t> samples = sorvil::benchSignal(44100, seconds);
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out) {
        std::fprintf(stderr, "bench_write_signal: %s: %s\n", argv[2], std::strerror(errno));
        return 1;
    }
    // The samples are written in the machine's order: x86 and ARM Linux are little-endian.
    const size_t written = std::fwrite(samples.data(), sizeof(int16_t), samples.size(), out);
    const bool closed = std::fclose(out) == 0;
    if (written != samples.size() || !closed) {
        std::fprintf(stderr, "bench_write_signal: %s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
