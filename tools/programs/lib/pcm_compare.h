// Comparison of decoded PCM with a reference decode: alignment, RMS and
// maximum of the difference in LSB, and the ISO/IEC 11172-4 accuracy classes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sorvil {

struct DecodedPcm;

// ISO/IEC 11172-4: full accuracy is RMS < 2^-15/sqrt(12) of full scale with
// |diff| <= 2^-14 of full scale; limited accuracy is RMS < 2^-11/sqrt(12).
constexpr double kFullAccuracyRms = 0.28867513459481287;     // LSB of 16 bits
constexpr int kFullAccuracyMax = 2;                          // LSB
constexpr double kLimitedAccuracyRms = 4.6188021535170058;   // LSB

enum class AccuracyClass { Full, Limited, Fail };

struct CompareOptions {
    int channels = 2;
    // Offsets searched, in samples per channel: -maxOffset .. +maxOffset.
    int maxOffset = 4608;
    // Compare only the first refLength samples per channel of the reference
    // (for references padded past the last frame); -1 = the whole reference.
    long long refLength = -1;
};

struct PcmComparison {
    // Test sample n + offset lines up with reference sample n (per channel).
    int offset = 0;
    long long overlap = 0;            // samples per channel compared
    long long testLength = 0;         // samples per channel
    long long refLength = 0;          // samples per channel, after the refLength limit
    double rms = 0.0;                 // LSB, over all channels of the overlap
    int maxDiff = 0;                  // LSB
    AccuracyClass accuracy = AccuracyClass::Fail;
};

AccuracyClass classifyAccuracy(double rms, int maxDiff);
const char* accuracyClassName(AccuracyClass accuracy);

// Aligns test against reference (interleaved, options.channels channels) and
// measures the difference over the overlap. An empty overlap gives Fail.
PcmComparison comparePcm(const int16_t* test, size_t testSamples, const int16_t* ref, size_t refSamples,
                         const CompareOptions& options);
PcmComparison comparePcm(const std::vector<int16_t>& test, const std::vector<int16_t>& ref,
                         const CompareOptions& options);

// Signed 16-bit little-endian bytes to samples (a trailing odd byte is dropped).
std::vector<int16_t> samplesFromBytes(const std::vector<uint8_t>& bytes);
std::vector<int16_t> samplesFromBytes(const uint8_t* bytes, size_t size);
// Whole file; false when it cannot be read, or (errno EFBIG) when it holds
// more than maxBytes.
bool readBinaryFile(const std::string& path, std::vector<uint8_t>* bytes, size_t maxBytes = SIZE_MAX);

// Interleaved two-channel samples of a decode whose channel count changes
// from frame to frame: single-channel frames become two equal channels. The
// frame map may come from another decode of the same stream; expansion stops
// at `size` bytes (give it whenever the bytes may be shorter than the map).
std::vector<int16_t> expandToStereo(const DecodedPcm& pcm);
std::vector<int16_t> expandToStereo(const uint8_t* bytes, const std::vector<int>& frameBytes,
                                    const std::vector<int>& frameChannels, size_t size = SIZE_MAX);
std::vector<int16_t> expandToStereo(const std::vector<uint8_t>& bytes, const std::vector<int>& frameBytes,
                                    const std::vector<int>& frameChannels);

// One line: offset, overlap, length difference, RMS, max and class.
std::string describeComparison(const PcmComparison& comparison);

}  // namespace sorvil
