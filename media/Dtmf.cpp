#include "media/Dtmf.h"

#include <spandsp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace media {
namespace {

// spandsp confirms a digit at the end of the second of two 102-sample blocks
// that hear it; the tone began within the block before the first, half a
// block before it on average.
constexpr std::uint64_t detectionSamples = 102 + 51;

// Below about -45 dBov no digit is heard: spandsp wants much more.
constexpr double quietestRms = 180;
// The weakest tone of a digit's pair, as a share of the piece's power: a
// quarter with no twist, about a ninth with 8 dB of it; a rectangular window
// and a tone that starts within the piece lose more.
constexpr double weakestShare = 0.04;
// What a digit's two tones hold together, as a share of the piece's power:
// all of it, but for noise, the codec's distortion and the window's leakage.
// Noise and speech put about 0.05 in each filter.
constexpr double pairShare = 0.2;

// The eight DTMF frequencies, low group first, at 4 kHz.
constexpr std::array<double, 8> dtmfFrequencies = {697, 770, 852, 941, 1209, 1336, 1477, 1633};

// Each frequency's Goertzel power over `samples`. The eight filters run side
// by side, so that they go through the processor's vector lanes together.
std::array<float, 8> goertzelPowers(std::span<const float> samples) {
    static const auto coefficients = [] {
        std::array<float, 8> made{};
        for (std::size_t i = 0; i < made.size(); ++i) {
            made[i] = static_cast<float>(2 * std::cos(2 * std::numbers::pi * dtmfFrequencies[i] /
                                                      4000.0));
        }
        return made;
    }();
    // Four lanes a vector (SSE2 on any x86-64), two vectors for the eight.
    using Lanes = float __attribute__((vector_size(16)));
    const Lanes c[2] = {{coefficients[0], coefficients[1], coefficients[2], coefficients[3]},
                        {coefficients[4], coefficients[5], coefficients[6], coefficients[7]}};
    Lanes s1[2] = {}, s2[2] = {};
    for (const float x : samples) {
        for (int v = 0; v < 2; ++v) {
            const Lanes s0 = x + c[v] * s1[v] - s2[v];
            s2[v] = s1[v];
            s1[v] = s0;
        }
    }
    std::array<float, 8> powers{};
    for (int v = 0; v < 2; ++v) {
        const Lanes power = s1[v] * s1[v] + s2[v] * s2[v] - c[v] * s1[v] * s2[v];
        for (int i = 0; i < 4; ++i) {
            powers[static_cast<std::size_t>(4 * v + i)] = power[i];
        }
    }
    return powers;
}

// Whether 20 ms (or less) of 8 kHz audio may hold a DTMF digit: every other
// sample (4 kHz still carries 1633 Hz) through Goertzel filters at the four
// low-group and the four high-group frequencies. A digit lasts 40 ms at
// least, so it fills some 20 ms block whole; aliases only let more blocks
// through.
bool blockMayHoldDigit(std::span<const std::int16_t> samples) {
    const std::size_t count = std::min<std::size_t>((samples.size() + 1) / 2, 80);
    std::array<float, 80> decimated{};
    std::int64_t energy = 0;
    for (std::size_t n = 0; n < count; ++n) {
        energy += std::int32_t{samples[2 * n]} * samples[2 * n];
        decimated[n] = static_cast<float>(samples[2 * n]);
    }
    const double size = static_cast<double>(count);
    if (static_cast<double>(energy) < quietestRms * quietestRms * size) {
        return false; // silence costs no more, however short
    }
    if (count < 16) {
        return true; // too short to judge
    }
    const auto powers = goertzelPowers({decimated.data(), count});
    const double low = *std::max_element(powers.begin(), powers.begin() + 4);
    const double high = *std::max_element(powers.begin() + 4, powers.end());
    // A pure tone at a filter's frequency gives its power * size / 2.
    const double whole = static_cast<double>(energy) * size / 2;
    return low >= weakestShare * whole && high >= weakestShare * whole &&
           low + high >= pairShare * whole;
}

// A piece of any length: each 20 ms block of it.
bool mayHoldDigit(std::span<const std::int16_t> samples) {
    constexpr std::size_t block = 160;
    for (std::size_t at = 0; at < samples.size(); at += block) {
        if (at > 0 && samples.size() - at < 32) {
            break; // a few samples left over: judged with the next piece
        }
        if (blockMayHoldDigit(samples.subspan(at, std::min(block, samples.size() - at)))) {
            return true;
        }
    }
    return false;
}

} // namespace

DtmfReceiver::DtmfReceiver() : state_(dtmf_rx_init(nullptr, nullptr, nullptr)) {
    // Dial tone rarely sounds with a digit in a call, and filtering it costs
    // half the detector's time.
    dtmf_rx_parms(state_, 0, -1, -1, -99);
    dtmf_rx_set_realtime_callback(state_, &DtmfReceiver::report, this);
}

DtmfReceiver::~DtmfReceiver() {
    dtmf_rx_free(state_);
}

void DtmfReceiver::report(void* self, int code, int, int) {
    auto& receiver = *static_cast<DtmfReceiver*>(self);
    // Reported while the block that confirmed it is handed over: its end is
    // as near as the receiver tells.
    const std::uint64_t at = receiver.blockEnd_ - std::min(receiver.blockEnd_, detectionSamples);
    auto& tones = receiver.tones_;
    if (!tones.empty() && tones.back().endSample == 0) {
        tones.back().endSample = std::max(at, tones.back().startSample + 1);
    }
    if (code != 0) {
        tones.push_back({static_cast<char>(code), at, 0});
    }
}

void DtmfReceiver::detect(std::span<const std::int16_t> samples, std::uint64_t start) {
    // Handed over 5 ms at a time, so that a tone's start and end are known to 5 ms.
    constexpr std::size_t step = 40;
    for (std::size_t at = 0; at < samples.size(); at += step) {
        const std::size_t now = std::min(step, samples.size() - at);
        blockEnd_ = start + at + now;
        dtmf_rx(state_, samples.data() + at, static_cast<int>(now));
    }
}

void DtmfReceiver::feed(std::span<const std::int16_t> samples) {
    const std::uint64_t start = position_;
    position_ += samples.size();
    if (mayHoldDigit(samples)) {
        if (!detecting_ && !previous_.empty()) {
            // The digit may have begun in the piece passed over.
            detect(previous_, start - previous_.size());
        }
        detect(samples, start);
        hangover_ = 2;
        detecting_ = true;
        return;
    }
    if (hangover_ > 0) {
        --hangover_;
        detect(samples, start);
        return;
    }
    if (detecting_) {
        // Silence in its place ends whatever the detector heard.
        static const std::int16_t silence[160] = {};
        detect({silence, std::min(samples.size(), std::size(silence))}, start);
        detecting_ = false;
    }
    previous_.assign(samples.begin(), samples.end());
}

void DtmfReceiver::feedSilence(std::size_t samples) {
    static const std::int16_t silence[160] = {};
    // Silence is handed over only while it may end what was heard.
    while (samples > 0 && (hangover_ > 0 || detecting_)) {
        const std::size_t now = std::min<std::size_t>(samples, std::size(silence));
        feed({silence, now});
        samples -= now;
    }
    if (samples == 0) {
        return;
    }
    // The rest is passed over as feed() would pass it, a piece at a time,
    // without looking for a digit in it.
    position_ += samples;
    const std::size_t last = samples - (samples - 1) / std::size(silence) * std::size(silence);
    previous_.assign(last, 0);
}

DtmfGenerator::DtmfGenerator(const std::string& digits, int onMs, int offMs)
    : state_(dtmf_tx_init(nullptr)) {
    dtmf_tx_set_timing(state_, onMs, offMs);
    dtmf_tx_put(state_, digits.c_str(), static_cast<int>(digits.size()));
}

DtmfGenerator::~DtmfGenerator() {
    dtmf_tx_free(state_);
}

std::vector<std::int16_t> DtmfGenerator::next(std::size_t count) {
    std::vector<std::int16_t> samples(count, 0);
    std::size_t made = 0;
    while (made < count) {
        const int now = dtmf_tx(state_, samples.data() + made, static_cast<int>(count - made));
        if (now <= 0) {
            break; // the digits are sent: silence follows
        }
        made += static_cast<std::size_t>(now);
    }
    return samples;
}

} // namespace media
