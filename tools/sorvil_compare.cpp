// sorvil-compare TEST REF [--channels N] [--ref-length N] [--max-offset N]
// Compares two raw s16le PCM files after aligning them and prints the offset,
// the RMS and maximum difference in LSB and the ISO/IEC 11172-4 class.
// Exit status: 0 full or limited accuracy, 1 fail, 2 usage or read error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pcm_compare.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: sorvil-compare TEST REF [--channels N] [--ref-length N] [--max-offset N]\n");
    return 2;
}

bool parseNumber(const char* text, long long* value) {
    char* end = nullptr;
    *value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    sorvil::CompareOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--channels" || arg == "--ref-length" || arg == "--max-offset") {
            long long value = 0;
            if (i + 1 >= argc || !parseNumber(argv[++i], &value)) return usage();
            if (arg == "--channels") {
                if (value < 1 || value > 2) return usage();
                options.channels = static_cast<int>(value);
            } else if (arg == "--ref-length") {
                options.refLength = value;
            } else {
                if (value < 0 || value > 1 << 20) return usage();
                options.maxOffset = static_cast<int>(value);
            }
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return usage();

    std::vector<uint8_t> testBytes, refBytes;
    if (!sorvil::readBinaryFile(files[0], &testBytes)) {
        std::fprintf(stderr, "sorvil-compare: cannot read %s\n", files[0].c_str());
        return 2;
    }
    if (!sorvil::readBinaryFile(files[1], &refBytes)) {
        std::fprintf(stderr, "sorvil-compare: cannot read %s\n", files[1].c_str());
        return 2;
    }
    sorvil::PcmComparison result =
        sorvil::comparePcm(sorvil::samplesFromBytes(testBytes), sorvil::samplesFromBytes(refBytes), options);
    std::printf("%s\n", sorvil::describeComparison(result).c_str());
    return result.accuracy == sorvil::AccuracyClass::Fail ? 1 : 0;
}
