// sorvil-compare TEST REF [--channels N] [--ref-length N] [--max-offset N]
// Compares two raw s16le PCM files after aligning them and prints the offset,
// the RMS and maximum difference in LSB and the ISO/IEC 11172-4 class.
// Exit status: 0 full or limited accuracy, 1 fail, read error or an input over
// 1 GiB, 2 bad command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "input_image.h"
#include "pcm_compare.h"

namespace {

const char PROGRAM[] = "sorvil-compare";

const char USAGE[] =
    "Usage: sorvil-compare TEST REF [--channels N] [--ref-length N] [--max-offset N]   (sorvil-compare --help tells "
    "more)\n";

const char HELP[] =
    "Usage: sorvil-compare TEST REF [--channels N] [--ref-length N] [--max-offset N]\n"
    "  or:  sorvil-compare -h | --help | --version\n"
    "\n"
    "Aligns two files of signed 16-bit little-endian PCM, TEST against the\n"
    "reference REF, and prints the offset, the RMS and maximum difference in LSB\n"
    "and the ISO/IEC 11172-4 accuracy class.\n"
    "\n"
    "  --channels N    channels interleaved in both files, 1 or 2 (default 2)\n"
    "  --ref-length N  compare only the first N samples per channel of REF\n"
    "  --max-offset N  search offsets from -N to N samples per channel\n"
    "                  (default 4608, at most 1048576)\n"
    "  -h, --help      print this help and exit\n"
    "  --version       print the version and exit\n"
    "\n"
    "Exit status: 0 full or limited accuracy; 1 not accurate, or a file cannot be\n"
    "read or is larger than 1 GiB; 2 bad command line.\n";

int refuse(const std::string& problem) { return sorvil::refuseCommandLine(PROGRAM, problem, USAGE); }

bool parseNumber(const char* text, long long* value) {
    char* end = nullptr;
    *value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    if (sorvil::answeredHelpOrVersion(argc, argv, PROGRAM, HELP, &status)) return status;
    std::vector<std::string> files;
    sorvil::CompareOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--channels" || arg == "--ref-length" || arg == "--max-offset") {
            long long value = 0;
            if (i + 1 >= argc || !parseNumber(argv[++i], &value)) return refuse(arg + " needs a whole number");
            if (arg == "--channels") {
                if (value < 1 || value > 2) return refuse("--channels is 1 or 2");
                options.channels = static_cast<int>(value);
            } else if (arg == "--ref-length") {
                if (value < 0) return refuse("--ref-length cannot be negative");
                options.refLength = value;
            } else {
                if (value < 0 || value > 1 << 20) return refuse("--max-offset is 0 to 1048576");
                options.maxOffset = static_cast<int>(value);
            }
        } else if (sorvil::isOption(arg)) {
            return refuse("unknown option '" + arg + "'");
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return refuse(files.size() < 2 ? "TEST and REF are needed" : "too many arguments");

    sorvil::InputImage test, ref;
    for (auto [path, image] : {std::pair{&files[0], &test}, std::pair{&files[1], &ref}}) {
        if (!image->open(*path)) {
            if (errno == EFBIG)
                std::fprintf(stderr, "%s: %s is larger than 1 GiB, the largest input taken\n", PROGRAM, path->c_str());
            else
                std::fprintf(stderr, "%s: cannot read %s: %s\n", PROGRAM, path->c_str(), std::strerror(errno));
            return 1;
        }
    }
    const auto testSamples = sorvil::samplesFromBytes(test.data(), test.size());
    const auto refSamples = sorvil::samplesFromBytes(ref.data(), ref.size());
    if (test.wasCut() || ref.wasCut()) {
        std::fprintf(stderr, "%s: %s or %s changed while it was being read\n", PROGRAM, files[0].c_str(),
                     files[1].c_str());
        return 1;
    }
    sorvil::PcmComparison result = sorvil::comparePcm(testSamples, refSamples, options);
    std::printf("%s\n", sorvil::describeComparison(result).c_str());
    return result.accuracy == sorvil::AccuracyClass::Fail ? 1 : 0;
}
