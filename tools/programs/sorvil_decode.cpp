// sorvil-decode [--frames | --stream] IN OUT
// Decodes a whole MP3 file with the project's decoder and writes the PCM of
// the decoded frames as raw signed 16-bit little-endian interleaved samples,
// or as a WAV file when OUT ends in ".wav". --stream (the default) decodes
// through the MP3 stream and its poll into memory audio buffers; --frames
// drives the decoder frame by frame from the first frame stream creation
// finds (a stream whose channel count changes keeps every frame whole there,
// while its audio buffers hold the first frame's format).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "pcm_compare.h"
#include "pcm_decode.h"

namespace {

const char PROGRAM[] = "sorvil-decode";

const char USAGE[] = "Usage: sorvil-decode [--stream | --frames] IN OUT   (sorvil-decode --help tells more)\n";

const char HELP[] =
    "Usage: sorvil-decode [--stream | --frames] IN OUT\n"
    "       sorvil-decode -h | --help | --version\n"
    "\n"
    "Decodes the whole MP3 file IN with Sorvil's decoder and writes its PCM to OUT:\n"
    "signed 16-bit little-endian samples, channels interleaved, or a WAV file when\n"
    "OUT ends in .wav.\n"
    "\n"
    "  --stream    decode through the MP3 stream and its poll (the default)\n"
    "  --frames    drive the decoder frame by frame (for streams whose channel\n"
    "              count changes)\n"
    "\n"
    "Exit status: 0 decoded; 1 IN cannot be read or holds no MPEG audio stream, or\n"
    "OUT cannot be written; 2 bad command line.\n";

int refuse(const std::string& problem) { return sorvil::refuseCommandLine(PROGRAM, problem, USAGE); }

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
    switch (sorvil::helpOrVersionAsked(argc, argv)) {
        case sorvil::CommandAction::Help: std::fputs(HELP, stdout); return 0;
        case sorvil::CommandAction::Version: return sorvil::printVersion(PROGRAM);
        default: break;
    }
    bool throughStream = true;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--frames" || argument == "--stream") {
            throughStream = argument == "--stream";
        } else if (sorvil::isOption(argument)) {
            return refuse("unknown option '" + argument + "'");
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() != 2) return refuse(files.size() < 2 ? "IN and OUT are needed" : "too many arguments");
    const std::string& in = files[0];
    const std::string& out = files[1];

    std::vector<uint8_t> image;
    if (!sorvil::readBinaryFile(in, &image)) {
        std::fprintf(stderr, "%s: cannot read %s: %s\n", PROGRAM, in.c_str(), std::strerror(errno));
        return 1;
    }
    sorvil::DecodedPcm pcm;
    int length = static_cast<int>(image.size());
    bool created = throughStream ? sorvil::decodeThroughStream(image.data(), length, &pcm)
                                 : sorvil::decodeFrameByFrame(image.data(), length, &pcm);
    if (!created) {
        std::fprintf(stderr, "%s: no MPEG audio stream found in %s\n", PROGRAM, in.c_str());
        return 1;
    }
    std::vector<uint8_t> header;
    if (endsWith(out, ".wav") || endsWith(out, ".WAV")) header = wavHeader(pcm);
    if (!writeAll(out, header, pcm.bytes)) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", PROGRAM, out.c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}
