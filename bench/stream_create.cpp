// Cost of creating a stream: on a typical song, on search windows full of
// hostile candidates, and beside copying a 5 MB song (what every song costs
// anyway).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/file_copy.h"
#include "mp3stream/mp3stream.h"
#include "pcm_compare.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace sorvil;

constexpr int kWindow = 28672;

Bytes readData(const std::string& relative) {
    Bytes bytes;
    readBinaryFile(std::string(SORVIL_SOURCE_DIR) + "/tests/data/" + relative, &bytes);
    return bytes;
}

Bytes typicalSong() { return readData("streams/id3v2_no_footer.mp3"); }

// A window tiled with `pattern` after `lead` zero bytes, then a real song
// that lies beyond it.
Bytes hostile(const Bytes& pattern, size_t lead = 0) {
    Bytes bytes(lead, 0);
    while (bytes.size() < size_t(kWindow)) bytes.insert(bytes.end(), pattern.begin(), pattern.end());
    bytes.resize(kWindow);
    const Bytes song = typicalSong();
    bytes.insert(bytes.end(), song.begin(), song.end());
    return bytes;
}

// A plausible header every 3 bytes (FF FB 92 ...: 418-byte frames), never
// followed by one a frame later; the lead byte keeps every candidate off the
// position whose frame would end exactly at the end of the window.
Bytes noFollowingHeader() { return hostile({0xFF, 0xFB, 0x92}, 1); }

// A plausible header every 4 bytes (FF E3 18 C4: MPEG-2.5 8 kbit/s 8000 Hz,
// 72-byte frames), each followed by another a frame later; its side
// information announces window switching with block type 0, so every
// candidate goes through a full probe decode that fails.
Bytes failingDecodes() { return hostile({0xFF, 0xE3, 0x18, 0xC4}); }

void runCreate(benchmark::State& state, const Bytes& image, bool expectStream) {
    for (auto _ : state) {
        Mp3Stream* stream = mp3StreamCreate(image.data(), int(image.size()));
        if ((stream != nullptr) != expectStream) state.SkipWithError("unexpected result");
        benchmark::DoNotOptimize(stream);
        mp3StreamDestroy(stream);
    }
}

void BM_CreateTypicalSong(benchmark::State& state) { runCreate(state, typicalSong(), true); }
void BM_CreateWindowWithoutFollowingHeaders(benchmark::State& state) {
    runCreate(state, noFollowingHeader(), false);
}
void BM_CreateWindowOfFailingDecodes(benchmark::State& state) { runCreate(state, failingDecodes(), false); }

void BM_CopyFile5MB(benchmark::State& state) {
    char folder[] = "/tmp/sorvil-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    const std::string source = std::string(folder) + "/song.mp3";
    const std::string target = std::string(folder) + "/song0001.mp3";
    {
        std::ofstream out(source, std::ios::binary);
        std::string block(1 << 20, '\0');
        for (size_t i = 0; i < block.size(); ++i) block[i] = char(i * 2654435761u >> 24);
        for (int i = 0; i < 5; ++i) out.write(block.data(), std::streamsize(block.size()));
    }
    for (auto _ : state) {
        if (copyFile(source.c_str(), target.c_str()) != 0) state.SkipWithError("copy failed");
    }
    std::remove(target.c_str());
    std::remove(source.c_str());
    rmdir(folder);
}

BENCHMARK(BM_CreateTypicalSong)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CreateWindowWithoutFollowingHeaders)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CreateWindowOfFailingDecodes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyFile5MB)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
