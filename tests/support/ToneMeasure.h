#pragma once

#include "media/CallAudio.h"
#include "media/VoiceCodecs.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

// The power at `hz` against the rest of one channel, in dB (Goertzel), from
// a tenth of a second in to a tenth before the end.
struct ToneMeasure {
    double snrDb;
    double strongestHz; // on a 10 Hz grid
};

inline double goertzel(const std::vector<double>& x, double hz) {
    const double k = 2 * std::cos(2 * std::numbers::pi * hz / media::sampleRate);
    double s1 = 0, s2 = 0;
    for (const double v : x) {
        const double s0 = v + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - k * s1 * s2;
}

// `samples` interleaved stereo.
inline ToneMeasure measureTone(const std::vector<std::int16_t>& samples, int channel, double hz) {
    std::vector<double> x;
    for (std::size_t i = 800; i + 800 < samples.size() / 2; ++i) {
        x.push_back(samples[i * 2 + static_cast<std::size_t>(channel)]);
    }
    double energy = 0;
    for (const double v : x) {
        energy += v * v;
    }
    const double tone = 2 * goertzel(x, hz) / static_cast<double>(x.size());
    double strongest = 0, strongestPower = -1;
    for (double f = 100; f < 3900; f += 10) {
        if (const double power = goertzel(x, f); power > strongestPower) {
            strongestPower = power;
            strongest = f;
        }
    }
    return {10 * std::log10(tone / std::max(energy - tone, 1e-9)), strongest};
}
