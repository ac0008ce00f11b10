#pragma once

#include "samples/Scenarios.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Calls that carry known tones, encoded through the same codec libraries the
// player decodes with: the caller sends one frequency and the callee
// another, so that decoding can be checked on each channel.
namespace scenarios {

// Sound for a generated call, `count` samples at a time, each call
// continuing where the last ended.
using SampleSource = std::function<std::vector<std::int16_t>(std::size_t count)>;

struct ToneCall {
    std::uint32_t codecMask;
    bool trunked; // voice in trunk entries (with timestamps) rather than mini frames
    // 1 kHz and 440 Hz; LPC10, a vocoder, carries only tones at pitches it
    // can model, 320 Hz and 250 Hz.
    double callerHz = 1000.0;
    double calleeHz = 440.0;
};

// The calls toneCalls() writes, in order: every codec with a decoder, half of
// them trunked, then G.723.1, for which there is none (its payloads are not
// real G.723.1).
std::vector<ToneCall> toneCallPlan();

// The calls of toneCallPlan(), one after the other, each `seconds` long. The
// first call's caller stream (G.711 u-law) loses its 10th frame, sends its
// 20th twice and its 31st before its 30th; the GSM call's caller sends its
// 5th payload with a broken frame signature, which the decoder refuses.
void toneCalls(const PacketSink& sink, double seconds = 1.0);

// One G.711 u-law call of `seconds`, for the benchmarks.
void longToneCall(const PacketSink& sink, double seconds);

// A call for each codec of toneCallPlan() with a decoder, one after the
// other and each `seconds` long, whose caller dials `digits` in band
// (tones of 100 ms with 100 ms between them, as its voice starts) while the
// callee sends 440 Hz.
void inBandDtmfCalls(const PacketSink& sink, const std::string& digits, double seconds = 2.0);

} // namespace scenarios
