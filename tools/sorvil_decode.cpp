// sorvil-decode [--frames | --stream] IN OUT
// Decodes a whole MP3 file with the project's decoder and writes the PCM of
// the decoded frames as raw signed 16-bit little-endian interleaved samples,
// or as a WAV file when OUT ends in ".wav". --stream (the default) decodes
// through the MP3 stream and its poll into memory audio buffers; --frames
// drives the decoder frame by frame from the first frame stream creation
// finds (a stream whose channel count changes keeps every frame whole there,
// while its audio buffers hold the first frame's format).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pcm_compare.h"
#include "pcm_decode.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: sorvil-decode [--frames | --stream] IN OUT\n");
    return 2;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void putLittleEndian(std::vector<uint8_t>* out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The 44-byte header of a PCM WAV file; the channel count is the first frame's.
std::vector<uint8_t> wavHeader(const sorvil::DecodedPcm& pcm) {
    std::vector<uint8_t> h;
    uint32_t dataBytes = static_cast<uint32_t>(pcm.bytes.size());
    uint32_t channels = static_cast<uint32_t>(pcm.channels);
    uint32_t rate = static_cast<uint32_t>(pcm.sampleRate);
    for (char c : std::string("RIFF")) h.push_back(static_cast<uint8_t>(c));
    putLittleEndian(&h, 36 + dataBytes, 4);
    for (char c : std::string("WAVEfmt ")) h.push_back(static_cast<uint8_t>(c));
    putLittleEndian(&h, 16, 4);
    putLittleEndian(&h, 1, 2);  // integer PCM
    putLittleEndian(&h, channels, 2);
    putLittleEndian(&h, rate, 4);
    putLittleEndian(&h, rate * channels * 2, 4);
    putLittleEndian(&h, channels * 2, 2);
    putLittleEndian(&h, 16, 2);
    for (char c : std::string("data")) h.push_back(static_cast<uint8_t>(c));
    putLittleEndian(&h, dataBytes, 4);
    return h;
}

bool writeAll(const std::string& path, const std::vector<uint8_t>& header, const std::vector<uint8_t>& body) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = true;
    for (const std::vector<uint8_t>* part : {&header, &body})
        if (!part->empty()) ok = ok && std::fwrite(part->data(), 1, part->size(), f) == part->size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    bool throughStream = true;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0) {
            throughStream = false;
        } else if (std::strcmp(argv[i], "--stream") == 0) {
            throughStream = true;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.size() != 2) return usage();
    const std::string& in = files[0];
    const std::string& out = files[1];

    std::vector<uint8_t> image;
    if (!sorvil::readBinaryFile(in, &image)) {
        std::fprintf(stderr, "sorvil-decode: cannot read %s\n", in.c_str());
        return 1;
    }
    sorvil::DecodedPcm pcm;
    int length = static_cast<int>(image.size());
    bool created = throughStream ? sorvil::decodeThroughStream(image.data(), length, &pcm)
                                 : sorvil::decodeFrameByFrame(image.data(), length, &pcm);
    if (!created) {
        std::fprintf(stderr, "sorvil-decode: no MPEG audio stream found in %s\n", in.c_str());
        return 1;
    }
    std::vector<uint8_t> header;
    if (endsWith(out, ".wav") || endsWith(out, ".WAV")) header = wavHeader(pcm);
    if (!writeAll(out, header, pcm.bytes)) {
        std::fprintf(stderr, "sorvil-decode: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
