#include "pcm_compare.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "pcm_decode.h"
#include "platform/file_copy.h"
#include "platform/file_status.h"
#include "platform/runtime.h"

namespace sorvil {

namespace {

// Samples per channel used to score a candidate offset: enough to lock onto
// any real signal, few enough that the search over 9217 offsets stays quick.
constexpr long long kAlignmentWindow = 32768;

struct Overlap {
    long long refStart;  // first reference sample (per channel)
    long long count;     // samples per channel
};

Overlap overlapFor(int offset, long long testLength, long long refLength) {
    long long start = std::max<long long>(0, -static_cast<long long>(offset));
    long long end = std::min<long long>(refLength, testLength - offset);
    return {start, std::max<long long>(0, end - start)};
}

// Sum of squared differences over the first `count` samples per channel of the
// overlap; stops early (returning a value above `limit`) once it exceeds limit.
double squaredDifference(const int16_t* test, const int16_t* ref, int channels, int offset, long long refStart,
                         long long count, double limit) {
    const int16_t* t = test + (refStart + offset) * channels;
    const int16_t* r = ref + refStart * channels;
    long long values = count * channels;
    double sum = 0.0;
    constexpr long long kCheckEvery = 1024;
    for (long long i = 0; i < values; i += kCheckEvery) {
        long long stop = std::min(values, i + kCheckEvery);
        long long block = 0;
        for (long long k = i; k < stop; ++k) {
            long long d = static_cast<long long>(t[k]) - r[k];
            block += d * d;
        }
        sum += static_cast<double>(block);
        if (sum > limit) return sum;
    }
    return sum;
}

int findOffset(const int16_t* test, long long testLength, const int16_t* ref, long long refLength, int channels,
               int maxOffset) {
    // Candidates whose overlap is much shorter than the signals would win on a
    // few quiet samples; they are not considered.
    long long minimumOverlap = std::min(std::min(testLength, refLength), kAlignmentWindow) / 2;
    int bestOffset = 0;
    double bestMean = std::numeric_limits<double>::infinity();
    // 0, -1, +1, -2, +2, ...: on equal scores the smaller shift wins.
    for (int step = 0; step <= 2 * maxOffset; ++step) {
        int offset = (step % 2 == 0) ? -(step / 2) : (step + 1) / 2;
        Overlap overlap = overlapFor(offset, testLength, refLength);
        long long count = std::min(overlap.count, kAlignmentWindow);
        if (count == 0 || count < minimumOverlap) continue;
        double limit = std::isinf(bestMean) ? std::numeric_limits<double>::infinity()
                                            : bestMean * static_cast<double>(count * channels);
        double sum = squaredDifference(test, ref, channels, offset, overlap.refStart, count, limit);
        if (sum > limit) continue;
        double mean = sum / static_cast<double>(count * channels);
        if (mean < bestMean) {
            bestMean = mean;
            bestOffset = offset;
        }
    }
    return bestOffset;
}

}  // namespace

AccuracyClass classifyAccuracy(double rms, int maxDiff) {
    if (rms < kFullAccuracyRms && maxDiff <= kFullAccuracyMax) return AccuracyClass::Full;
    if (rms < kLimitedAccuracyRms) return AccuracyClass::Limited;
    return AccuracyClass::Fail;
}

const char* accuracyClassName(AccuracyClass accuracy) {
    switch (accuracy) {
        case AccuracyClass::Full: return "full";
        case AccuracyClass::Limited: return "limited";
        case AccuracyClass::Fail: break;
    }
    return "fail";
}

PcmComparison comparePcm(const int16_t* test, size_t testSamples, const int16_t* ref, size_t refSamples,
                         const CompareOptions& options) {
    PcmComparison result;
    int channels = std::max(1, options.channels);
    result.testLength = static_cast<long long>(testSamples) / channels;
    result.refLength = static_cast<long long>(refSamples) / channels;
    if (options.refLength >= 0) result.refLength = std::min(result.refLength, options.refLength);
    if (result.testLength == 0 || result.refLength == 0) return result;

    result.offset = findOffset(test, result.testLength, ref, result.refLength, channels, options.maxOffset);
    Overlap overlap = overlapFor(result.offset, result.testLength, result.refLength);
    result.overlap = overlap.count;
    if (overlap.count == 0) return result;

    const int16_t* t = test + (overlap.refStart + result.offset) * channels;
    const int16_t* r = ref + overlap.refStart * channels;
    long long values = overlap.count * channels;
    double sum = 0.0;
    int maxDiff = 0;
    for (long long k = 0; k < values; ++k) {
        int d = static_cast<int>(t[k]) - r[k];
        sum += static_cast<double>(d) * d;
        maxDiff = std::max(maxDiff, std::abs(d));
    }
    result.rms = std::sqrt(sum / static_cast<double>(values));
    result.maxDiff = maxDiff;
    result.accuracy = classifyAccuracy(result.rms, result.maxDiff);
    return result;
}

PcmComparison comparePcm(const std::vector<int16_t>& test, const std::vector<int16_t>& ref,
                         const CompareOptions& options) {
    return comparePcm(test.data(), test.size(), ref.data(), ref.size(), options);
}

std::vector<int16_t> samplesFromBytes(const uint8_t* bytes, size_t size) {
    std::vector<int16_t> samples(size / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    return samples;
}

std::vector<int16_t> samplesFromBytes(const std::vector<uint8_t>& bytes) {
    return samplesFromBytes(bytes.data(), bytes.size());
}

bool readBinaryFile(const std::string& path, std::vector<uint8_t>* bytes, size_t maxBytes) {
    std::FILE* f = runtime::fopen(path.c_str(), "rb");
    if (!f) return false;
    bytes->clear();
    // Sized once for a regular file: growing as it is read would hold up to
    // twice the file while a grown copy is made.
    runtime::FileStatus status;
    if (runtime::statusOf(kCurrentFolder, path.c_str(), status) == 0 && status.isPlain)
        bytes->reserve(size_t(std::min<uint64_t>(status.size, maxBytes)));
    uint8_t chunk[65536];
    size_t n;
    bool tooLarge = false;
    while (!tooLarge && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        tooLarge = n > maxBytes - bytes->size();
        if (!tooLarge) bytes->insert(bytes->end(), chunk, chunk + n);
    }
    const bool failed = std::ferror(f);
    const int readError = errno;  // fclose may change it
    const bool closed = std::fclose(f) == 0;
    if (tooLarge)
        errno = EFBIG;
    else if (failed)
        errno = readError;
    return !tooLarge && !failed && closed;
}

std::vector<int16_t> expandToStereo(const uint8_t* bytes, const std::vector<int>& frameBytes,
                                    const std::vector<int>& frameChannels, size_t size) {
    std::vector<int16_t> out;
    size_t position = 0;
    for (size_t f = 0; f < frameBytes.size() && f < frameChannels.size() && position < size; ++f) {
        size_t length = std::min(static_cast<size_t>(std::max(frameBytes[f], 0)), size - position);
        std::vector<int16_t> frame = samplesFromBytes(bytes + position, length);
        position += length;
        if (frameChannels[f] == 1) {
            for (int16_t s : frame) {
                out.push_back(s);
                out.push_back(s);
            }
        } else {
            out.insert(out.end(), frame.begin(), frame.end());
        }
    }
    return out;
}

std::vector<int16_t> expandToStereo(const std::vector<uint8_t>& bytes, const std::vector<int>& frameBytes,
                                    const std::vector<int>& frameChannels) {
    return expandToStereo(bytes.data(), frameBytes, frameChannels, bytes.size());
}

std::vector<int16_t> expandToStereo(const DecodedPcm& pcm) {
    return expandToStereo(pcm.bytes, pcm.frameBytes, pcm.frameChannels);
}

std::string describeComparison(const PcmComparison& c) {
    char line[256];
    std::snprintf(line, sizeof line, "offset %d, overlap %lld, length difference %+lld, rms %.4f LSB, max %d LSB, %s",
                  c.offset, c.overlap, c.testLength - c.refLength, c.rms, c.maxDiff, accuracyClassName(c.accuracy));
    return line;
}

}  // namespace sorvil
