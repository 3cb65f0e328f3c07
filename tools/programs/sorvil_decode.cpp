// sorvil-decode [--frames | --stream] [--raw | --wav] IN OUT
// Decodes a whole MP3 file with the project's decoder and writes the PCM of
// the decoded frames as raw signed 16-bit little-endian interleaved samples,
// or as a WAV file (--wav, or OUT ending in ".wav"). OUT "-" is standard
// output, raw unless --wav is given. --stream (the default) decodes through
// the MP3 stream and its poll; --frames drives the decoder frame by frame from
// the first frame stream creation finds (a stream whose channel count changes
// keeps every frame whole there, while the stream's buffers hold the first
// frame's format).
//
// The PCM is written as it is decoded, through one fixed buffer, so memory
// stays the file image plus a constant whatever the length of the song. A WAV
// header's sizes are filled in at the end in an OUT file the tool opened
// itself; on standard output they stay "unknown" (all bits set), as a stream
// cannot know them, and a file handed over as standard output may hold
// another writer's bytes before ours.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "input_image.h"
#include "pcm_compare.h"
#include "mp3stream/player/sample_signs.h"
#include "pcm_decode.h"
#include "platform/file_copy.h"
#include "platform/runtime.h"
#include "platform/standard_output.h"

namespace {

const char PROGRAM[] = "sorvil-decode";

const char USAGE[] =
    "Usage: sorvil-decode [--stream | --frames] [--raw | --wav] IN OUT   (sorvil-decode --help tells more)\n";

const char HELP[] =
    "Usage: sorvil-decode [--stream | --frames] [--raw | --wav] IN OUT\n"
    "  or:  sorvil-decode -h | --help | --version\n"
    "\n"
    "Decodes the whole MP3 file IN with Sorvil's decoder and writes its PCM to OUT\n"
    "as it decodes: signed 16-bit little-endian samples, channels interleaved, or a\n"
    "WAV file with --wav or when OUT ends in .wav. OUT \"-\" is standard output (raw\n"
    "unless --wav is given; a WAV stream there has its sizes marked unknown).\n"
    "OUT must not be IN itself: the input is read as the output is written.\n"
    "\n"
    "  --stream    decode through the MP3 stream and its poll (the default)\n"
    "  --frames    drive the decoder frame by frame (for streams whose channel\n"
    "              count changes)\n"
    "  --raw       raw PCM whatever OUT's name\n"
    "  --wav       a WAV file whatever OUT's name\n"
    "  -h, --help  print this help and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Exit status: 0 decoded; 1 IN cannot be read, is larger than 1 GiB, holds no\n"
    "MPEG audio stream, was cut short while it was decoded, or the stream lost\n"
    "synchronisation before its end (what came before it is written), or OUT\n"
    "cannot be written; 2 bad command line, or OUT is the same file as IN.\n";

int refuse(const std::string& problem) { return sorvil::refuseCommandLine(PROGRAM, problem, USAGE); }

constexpr size_t kWriteBufferBytes = 256 * 1024;
constexpr uint32_t kWavHeaderBytes = 44;
constexpr uint32_t kUnknownSize = 0xFFFFFFFFu;
// RIFF sizes count the 36 bytes of header after the size field.
constexpr uint64_t kLargestWavData = kUnknownSize - (kWavHeaderBytes - 8);

// Whether OUT ("-": standard output) is the regular file IN is, links
// followed: opening it for writing would wipe the input before it is read.
// A name that cannot be looked up is no file yet (OUT) or is reported when
// it is opened (IN).
bool isSameFile(const std::string& in, const std::string& out) {
    namespace runtime = sorvil::runtime;
    runtime::FileIdentity input{};
    runtime::FileIdentity output{};
    if (!runtime::isRegularFile(in.c_str()) || !runtime::identityOf(sorvil::kCurrentFolder, in.c_str(), input))
        return false;
    const bool found = out == "-" ? runtime::identityOfStandardOutput(output)
                                  : runtime::identityOf(sorvil::kCurrentFolder, out.c_str(), output);
    return found && input == output;
}

// kLargestInputBytes, or a smaller limit given in SORVIL_DECODE_LARGEST_INPUT:
// the tests try an endless input without reading a gigabyte of it.
size_t largestInput() {
    const char* given = std::getenv("SORVIL_DECODE_LARGEST_INPUT");
    if (!given || !*given) return sorvil::kLargestInputBytes;
    char* end = nullptr;
    const unsigned long long bytes = std::strtoull(given, &end, 10);
    return *end == '\0' && bytes < sorvil::kLargestInputBytes ? size_t(bytes) : sorvil::kLargestInputBytes;
}

std::string sizeText(size_t bytes) {
    return bytes == sorvil::kLargestInputBytes ? "1 GiB" : std::to_string(bytes) + " bytes";
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void putLittleEndian(uint8_t* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The 44-byte header of a PCM WAV file holding dataBytes of samples.
void fillWavHeader(uint8_t* h, int sampleRate, int channels, uint32_t dataBytes) {
    const uint32_t rate = static_cast<uint32_t>(sampleRate);
    const uint32_t count = static_cast<uint32_t>(channels);
    std::memcpy(h, "RIFF", 4);
    putLittleEndian(h + 4, dataBytes == kUnknownSize ? kUnknownSize : dataBytes + kWavHeaderBytes - 8, 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putLittleEndian(h + 16, 16, 4);
    putLittleEndian(h + 20, 1, 2);  // integer PCM
    putLittleEndian(h + 22, count, 2);
    putLittleEndian(h + 24, rate, 4);
    putLittleEndian(h + 28, rate * count * 2, 4);
    putLittleEndian(h + 32, count * 2, 2);
    putLittleEndian(h + 34, 16, 2);
    std::memcpy(h + 36, "data", 4);
    putLittleEndian(h + 40, dataBytes, 4);
}

// Writes the PCM to OUT as it arrives. OUT is opened when the stream is
// found, so nothing is made for a file without one; after the first failed
// write the writer takes nothing more, which stops the decoding.
class PcmWriter final : public sorvil::PcmSink {
public:
    PcmWriter(const std::string& out, bool wav)
        : out_(out), wav_(wav), buffer_(new uint8_t[kWriteBufferBytes]) {}
    ~PcmWriter() override {
        if (file_ && file_ != stdout) std::fclose(file_);
    }

    void start(int sampleRate, int channels, size_t) override {
        sampleRate_ = sampleRate;
        channels_ = channels;
        file_ = out_ == "-" ? stdout : sorvil::runtime::fopen(out_.c_str(), "wb");
        ok_ = file_ != nullptr && (file_ != stdout || sorvil::runtime::makeStandardOutputBinary());
        if (!wav_) return;
        uint8_t header[kWavHeaderBytes];
        fillWavHeader(header, sampleRate, channels, kUnknownSize);
        append(header, kWavHeaderBytes, false);
    }

    bool take(const uint8_t* pcm, int bytes, int) override {
        dataBytes_ += uint64_t(bytes);
        append(pcm, size_t(bytes), false);
        return ok_;
    }

    // The stream's unsigned samples are signed again as they are copied.
    bool takeUnsigned(uint8_t* pcm, int bytes, int) override {
        dataBytes_ += uint64_t(bytes);
        append(pcm, size_t(bytes), true);
        return ok_;
    }

    // Writes what is buffered and, for WAV output in a file opened here that
    // can be rewritten, the real sizes into the header. False when any write
    // failed.
    bool finish() {
        flush();
        if (ok_ && wav_ && file_ != stdout && dataBytes_ <= kLargestWavData && std::fseek(file_, 0, SEEK_SET) == 0) {
            uint8_t header[kWavHeaderBytes];
            fillWavHeader(header, sampleRate_, channels_, uint32_t(dataBytes_));
            ok_ = std::fwrite(header, 1, kWavHeaderBytes, file_) == kWavHeaderBytes;
        }
        if (!file_) return false;
        const bool closed = file_ == stdout ? std::fflush(file_) == 0 : std::fclose(file_) == 0;
        file_ = nullptr;
        return closed && ok_;
    }

private:
    // Copies bytes into the buffer, writing it out whenever it is full; with
    // flipSigns, the sign bit of every 16-bit little-endian sample (the odd
    // bytes, counted from the first) is flipped on the way.
    void append(const uint8_t* bytes, size_t size, bool flipSigns) {
        while (size > 0) {
            if (used_ == kWriteBufferBytes) flush();
            const size_t n = std::min(size, kWriteBufferBytes - used_);
            if (flipSigns)
                sorvil::copyFlippingSigns(buffer_.get() + used_, bytes, n);
            else
                std::memcpy(buffer_.get() + used_, bytes, n);
            used_ += n;
            bytes += n;
            size -= n;
        }
    }

    void flush() {
        if (ok_ && used_ > 0) ok_ = std::fwrite(buffer_.get(), 1, used_, file_) == used_;
        used_ = 0;
    }

    std::string out_;
    bool wav_;
    std::FILE* file_ = nullptr;
    bool ok_ = false;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t used_ = 0;
    uint64_t dataBytes_ = 0;
    int sampleRate_ = 0;
    int channels_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    if (sorvil::answeredHelpOrVersion(argc, argv, PROGRAM, HELP, &status)) return status;
    bool throughStream = true;
    bool wav = false;
    bool raw = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--frames" || argument == "--stream") {
            throughStream = argument == "--stream";
        } else if (argument == "--wav") {
            wav = true;
        } else if (argument == "--raw") {
            raw = true;
        } else if (sorvil::isOption(argument)) {
            return refuse("unknown option '" + argument + "'");
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() != 2) return refuse(files.size() < 2 ? "IN and OUT are needed" : "too many arguments");
    if (wav && raw) return refuse("--raw and --wav cannot both be given");
    const std::string& in = files[0];
    const std::string& out = files[1];
    if (isSameFile(in, out)) return refuse("OUT is the same file as IN");
    wav = wav || (!raw && (endsWith(out, ".wav") || endsWith(out, ".WAV")));

    sorvil::InputImage image;
    const size_t largest = largestInput();
    if (!image.open(in, largest)) {
        if (errno == EFBIG)
            std::fprintf(stderr, "%s: %s is larger than %s, the largest song taken\n", PROGRAM, in.c_str(),
                         sizeText(largest).c_str());
        else
            std::fprintf(stderr, "%s: cannot read %s: %s\n", PROGRAM, in.c_str(), std::strerror(errno));
        return 1;
    }
    PcmWriter writer(out, wav);
    const int length = static_cast<int>(image.size());
    long lostSyncAt = -1;
    const auto decode = throughStream ? sorvil::decodeThroughStream : sorvil::decodeFrameByFrame;
    const bool created = decode(image.data(), length, &writer, &lostSyncAt);
    if (image.wasCut()) {
        std::fprintf(stderr, "%s: %s changed while it was being read\n", PROGRAM, in.c_str());
        return 1;
    }
    if (!created) {
        std::fprintf(stderr, "%s: no MPEG audio stream found in %s\n", PROGRAM, in.c_str());
        return 1;
    }
    if (!writer.finish()) {
        std::fprintf(stderr, "%s: cannot write %s\n", PROGRAM, out.c_str());
        return 1;
    }
    if (lostSyncAt >= 0) {
        std::fprintf(stderr, "%s: lost synchronisation at byte %ld\n", PROGRAM, lostSyncAt);
        return 1;
    }
    return 0;
}
