// bench_decode_file IN [OUT]: decodes a whole MPEG audio file frame by frame
// as a player would (the file read whole, fed to the decoder in 4 KiB pieces,
// each frame's PCM written out at once and forgotten) and writes the PCM to
// OUT (for example /dev/null), so that its time and peak memory compare with
// another decoder's writing raw PCM to the same place. Prints the frame count
// and the seconds of audio on standard error. bench/run.sh runs it.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "decoder/decoder_state.h"
#include "decoder/frame_header.h"
#include "pcm_compare.h"

namespace {

constexpr int kPieceBytes = 4096;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: bench_decode_file IN [OUT]\n");
        return 2;
    }
    std::vector<uint8_t> image;
    if (!sorvil::readBinaryFile(argv[1], &image)) {
        std::fprintf(stderr, "bench_decode_file: cannot read %s\n", argv[1]);
        return 1;
    }
    std::FILE* out = argc == 3 ? std::fopen(argv[2], "wb") : nullptr;
    if (argc == 3 && !out) {
        std::fprintf(stderr, "bench_decode_file: cannot write %s\n", argv[2]);
        return 1;
    }

    auto decoder = std::make_unique<sorvil::DecoderState>();
    sorvil::decoderInit(decoder.get());
    static uint8_t pcm[sorvil::kMinimumOutputCapacity];
    size_t fed = 0;
    long frames = 0;
    double seconds = 0;
    const uint8_t* piece = nullptr;
    int pieceSize = 0;
    for (;;) {
        int pcmBytes = 0;
        const int result =
            sorvil::decodeFrame(decoder.get(), piece, pieceSize, pcm, sorvil::kMinimumOutputCapacity, &pcmBytes);
        piece = nullptr;
        pieceSize = 0;
        if (result == sorvil::DEC_OK) {
            ++frames;
            const sorvil::FrameInfo& frame = decoder->frame;
            const int channels = frame.channels == 1 ? 1 : 2;
            seconds += double(pcmBytes) / (2.0 * channels * sorvil::samplingRates[frame.samplingFrequency]);
            if (out && std::fwrite(pcm, 1, size_t(pcmBytes), out) != size_t(pcmBytes)) break;
        } else if (result == sorvil::DEC_NEED_MORE && fed < image.size()) {
            piece = image.data() + fed;
            pieceSize = int(std::min(image.size() - fed, size_t(kPieceBytes)));
            fed += size_t(pieceSize);
        } else {
            break;  // the end of the data, or a frame the decoder rejects
        }
    }
    sorvil::decoderExit(decoder.get());
    const bool written = !out || std::fclose(out) == 0;
    std::fprintf(stderr, "frames %ld audio_seconds %.3f\n", frames, seconds);
    return written && frames > 0 ? 0 : 1;
}
