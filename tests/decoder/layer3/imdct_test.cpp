// The IMDCT kernels against a direct evaluation of the inverse MDCT of
// ISO/IEC 11172-3 with the standard's windows, computed here from their
// definitions rather than from the decoder's tables.
#include "decoder/layer3/imdct.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "decoder/layer3/tables.h"

namespace sorvil {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTolerance = 1e-12;

class ImdctTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { initLayer3Tables(32); }
};

// The standard's window of a long-transform block type (0, 1 or 3) at i = 0..35.
double longWindow(int blockType, int i) {
    const double sine36 = std::sin(kPi / 36 * (i + 0.5));
    switch (blockType) {
    case 1:
        if (i < 18) return sine36;
        if (i < 24) return 1.0;
        if (i < 30) return std::sin(kPi / 12 * (i - 18 + 0.5));
        return 0.0;
    case 3:
        if (i < 6) return 0.0;
        if (i < 12) return std::sin(kPi / 12 * (i - 6 + 0.5));
        if (i < 18) return 1.0;
        return sine36;
    default:
        return sine36;
    }
}

double shortWindow(int i) { return std::sin(kPi / 12 * (i + 0.5)); }

// x[i] = sum_k X[k] cos(pi / (2n) (2i + 1 + n/2)(2k + 1)), i = 0 .. n - 1.
std::vector<double> directImdct(const double* X, int n) {
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i) {
        double sum = 0.0;
        for (int k = 0; k < n / 2; ++k) sum += X[k] * std::cos(kPi / (2 * n) * (2 * i + 1 + n / 2.0) * (2 * k + 1));
        x[i] = sum;
    }
    return x;
}

// The frequency inversion carried by the signed windows: odd slots negated.
double inversion(bool signedWindow, int t) { return signedWindow && (t % 2 == 1) ? -1.0 : 1.0; }

struct KernelRun {
    double output[18 * 32];
    double next[18];
};

std::vector<double> randomValues(std::mt19937& generator, int count) {
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> values(count);
    for (double& v : values) v = value(generator);
    return values;
}

// The pair kernel with the subband under test in the even place (plain
// window) or the odd place (signed window), a random neighbour beside it.
KernelRun runImdct36(const std::vector<double>& lines, const std::vector<double>& previous, int blockType,
                     bool signedWindow) {
    std::mt19937 neighbour(99);
    std::vector<double> pairLines = randomValues(neighbour, 36);
    std::vector<double> pairPrevious = randomValues(neighbour, 36);
    const int at = signedWindow ? 18 : 0;
    std::copy(lines.begin(), lines.end(), pairLines.begin() + at);
    std::copy(previous.begin(), previous.end(), pairPrevious.begin() + at);
    double next[36];
    for (double& v : next) v = 12345.0;  // must be fully overwritten
    double output[18 * 32];
    imdct36Pair(pairLines.data(), pairPrevious.data(), next, blockType, output);
    KernelRun run;
    for (int t = 0; t < 18; ++t) {
        run.output[32 * t] = output[32 * t + (signedWindow ? 1 : 0)];
        run.next[t] = next[at + t];
    }
    return run;
}

KernelRun runImdct12(const std::vector<double>& lines, const std::vector<double>& previous, const double* window) {
    KernelRun run;
    for (double& v : run.next) v = 12345.0;
    imdct12(lines.data(), previous.data(), run.next, window, run.output);
    return run;
}

TEST_F(ImdctTest, LongKernelMatchesDirectTransformForEveryLongWindowPlainAndSigned) {
    std::mt19937 generator(36);
    for (int blockType : {0, 1, 3}) {
        for (bool signedWindow : {false, true}) {
            for (int trial = 0; trial < 20; ++trial) {
                const std::vector<double> lines = randomValues(generator, 18);
                const std::vector<double> previous = randomValues(generator, 18);
                const KernelRun run = runImdct36(lines, previous, blockType, signedWindow);
                const std::vector<double> y = directImdct(lines.data(), 36);
                for (int t = 0; t < 18; ++t) {
                    const double expectedOut = previous[t] + y[t] * longWindow(blockType, t) * inversion(signedWindow, t);
                    const double expectedNext = y[18 + t] * longWindow(blockType, 18 + t) * inversion(signedWindow, t);
                    ASSERT_NEAR(run.output[32 * t], expectedOut, kTolerance)
                        << "block type " << blockType << " signed " << signedWindow << " slot " << t;
                    ASSERT_NEAR(run.next[t], expectedNext, kTolerance)
                        << "block type " << blockType << " signed " << signedWindow << " slot " << t;
                }
            }
        }
    }
}

// The four-subband form (AVX) against two calls of the pair form, to the bit.
TEST_F(ImdctTest, FourSubbandKernelMatchesTwoPairCallsToTheBit) {
    const QuadImdct quad = imdct36QuadKernel();
    if (!quad) GTEST_SKIP() << "this processor or build has no four-subband form";
    std::mt19937 generator(4);
    for (int blockType : {0, 1, 3}) {
        for (int trial = 0; trial < 10; ++trial) {
            const std::vector<double> lines = randomValues(generator, 72);
            const std::vector<double> previous = randomValues(generator, 72);
            double pairNext[72], quadNext[72];
            double pairOutput[18 * 32] = {}, quadOutput[18 * 32] = {};
            imdct36Pair(lines.data(), previous.data(), pairNext, blockType, pairOutput);
            imdct36Pair(lines.data() + 36, previous.data() + 36, pairNext + 36, blockType, pairOutput + 2);
            quad(lines.data(), previous.data(), quadNext, blockType, quadOutput);
            ASSERT_EQ(std::memcmp(pairNext, quadNext, sizeof pairNext), 0) << "block type " << blockType;
            ASSERT_EQ(std::memcmp(pairOutput, quadOutput, sizeof pairOutput), 0) << "block type " << blockType;
        }
    }
}

TEST_F(ImdctTest, LongKernelSingleLineGivesOneCosineTimesTheWindow) {
    const std::vector<double> previous(18, 0.0);
    for (int blockType : {0, 1, 3}) {
        for (int k = 0; k < 18; ++k) {
            std::vector<double> lines(18, 0.0);
            lines[k] = 1.0;
            const KernelRun run = runImdct36(lines, previous, blockType, false);
            for (int t = 0; t < 36; ++t) {
                const double expected = std::cos(kPi / 72 * (2 * t + 19) * (2 * k + 1)) * longWindow(blockType, t);
                const double got = t < 18 ? run.output[32 * t] : run.next[t - 18];
                ASSERT_NEAR(got, expected, kTolerance) << "block type " << blockType << " line " << k << " t " << t;
            }
        }
    }
}

TEST_F(ImdctTest, ShortKernelMatchesThreeOverlappedDirectTransformsPlainAndSigned) {
    std::mt19937 generator(12);
    for (bool signedWindow : {false, true}) {
        const double* window = signedWindow ? imdctWindowSigned[2] : imdctWindow[2];
        for (int trial = 0; trial < 20; ++trial) {
            const std::vector<double> lines = randomValues(generator, 18);
            const std::vector<double> previous = randomValues(generator, 18);
            const KernelRun run = runImdct12(lines, previous, window);

            double span[36] = {};
            for (int u = 0; u < 3; ++u) {
                double X[6];
                for (int j = 0; j < 6; ++j) X[j] = lines[3 * j + u];
                const std::vector<double> y = directImdct(X, 12);
                for (int p = 0; p < 12; ++p) span[6 + 6 * u + p] += y[p] * shortWindow(p);
            }
            for (int t = 0; t < 18; ++t) {
                ASSERT_NEAR(run.output[32 * t], previous[t] + span[t] * inversion(signedWindow, t), kTolerance)
                    << "signed " << signedWindow << " slot " << t;
                ASSERT_NEAR(run.next[t], span[18 + t] * inversion(signedWindow, t), kTolerance)
                    << "signed " << signedWindow << " slot " << t;
            }
        }
    }
}

TEST_F(ImdctTest, ZeroLinesPassThePreviousOverlapAndClearTheNext) {
    std::mt19937 generator(0);
    const std::vector<double> previous = randomValues(generator, 18);
    const std::vector<double> zeros(18, 0.0);
    for (int row = 0; row < 4; ++row) {
        for (bool signedWindow : {false, true}) {
            const double* window = signedWindow ? imdctWindowSigned[row] : imdctWindow[row];
            const KernelRun run =
                row == 2 ? runImdct12(zeros, previous, window) : runImdct36(zeros, previous, row, signedWindow);
            for (int t = 0; t < 18; ++t) {
                EXPECT_EQ(run.output[32 * t], previous[t]) << "row " << row << " slot " << t;
                EXPECT_EQ(run.next[t], 0.0) << "row " << row << " slot " << t;
            }
        }
    }
}

TEST_F(ImdctTest, WindowEdgesAreExactWhateverTheInput) {
    std::mt19937 generator(7);
    for (int trial = 0; trial < 10; ++trial) {
        const std::vector<double> lines = randomValues(generator, 18);
        const std::vector<double> previous = randomValues(generator, 18);

        const KernelRun start = runImdct36(lines, previous, 1, false);
        for (int t = 12; t < 18; ++t) EXPECT_EQ(start.next[t], 0.0) << "start block, next overlap " << t;

        const KernelRun stop = runImdct36(lines, previous, 3, true);
        for (int t = 0; t < 6; ++t) EXPECT_EQ(stop.output[32 * t], previous[t]) << "stop block, slot " << t;

        const KernelRun shortBlock = runImdct12(lines, previous, imdctWindow[2]);
        for (int t = 0; t < 6; ++t) EXPECT_EQ(shortBlock.output[32 * t], previous[t]) << "short block, slot " << t;
        for (int t = 12; t < 18; ++t) EXPECT_EQ(shortBlock.next[t], 0.0) << "short block, next overlap " << t;
    }
}

TEST_F(ImdctTest, ShortKernelLeavesItsLinesUntouched) {
    std::mt19937 generator(3);
    const std::vector<double> lines = randomValues(generator, 18);
    std::vector<double> copy = lines;
    const std::vector<double> previous(18, 0.0);
    double output[18 * 32];
    double next[18];
    imdct12(copy.data(), previous.data(), next, imdctWindow[2], output);
    EXPECT_EQ(copy, lines);
}

}  // namespace
}  // namespace sorvil
