// The benchmarks' test signal, the one source of the long files they encode:
// two channels of 16-bit samples with something for every coding tool (tones,
// a slow chirp, noise bursts that call for short blocks, clicks).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace sorvil {

inline std::vector<int16_t> benchSignal(int rate, int seconds) {
    constexpr double kPi = 3.14159265358979323846;
    std::vector<int16_t> samples(size_t(rate) * size_t(seconds) * 2);
    std::mt19937 generator(44100);
    std::normal_distribution<double> noise(0.0, 1.0);
    for (size_t i = 0; i < samples.size() / 2; ++i) {
        const double t = double(i) / rate;
        const double sweep = 0.5 * (1 + std::sin(2 * kPi * t / 30));  // a 30 s chirp cycle
        for (int ch = 0; ch < 2; ++ch) {
            double s = 0.25 * std::sin(2 * kPi * (220.0 + 110 * ch) * t);
            s += 0.12 * std::sin(2 * kPi * (3000.0 + 500 * ch) * t + 0.3);
            s += 0.10 * std::sin(2 * kPi * (100 + 15000 * sweep) * t);
            const double phase = std::fmod(t + 0.1 * ch, 0.5);
            if (phase < 0.05) s += 0.2 * noise(generator);                             // noise bursts
            if (phase > 0.3 && phase < 0.303) s += (int(t * rate) % 2 ? 0.5 : -0.5);  // clicks
            samples[2 * i + size_t(ch)] = int16_t(std::lround(std::max(-1.0, std::min(1.0, s)) * 24000));
        }
    }
    return samples;
}

}  // namespace sorvil
