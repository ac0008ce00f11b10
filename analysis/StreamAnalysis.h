#pragma once

#include "analysis/CallTracker.h"

#include <optional>
#include <string>
#include <vector>

// The voice streams of calls, one per direction (caller to callee, callee to
// caller), made of their voice full frames, mini frames and trunk entries,
// and their figures. Times are in milliseconds unless a name says seconds.
namespace analysis {

struct StreamFigures {
    std::size_t call = 0;   // index in the tracker's call list
    bool fromCaller = true; // who sent it
    Endpoint source, destination;
    std::string codec;             // the frame table's codec name; empty where unknown
    std::optional<double> frameMs; // one frame's duration, where the codec and size tell it
    std::uint64_t packets = 0;     // every voice frame, duplicates included
    std::uint64_t expected = 0;    // (largest - smallest timestamp) / frame duration + 1
    std::int64_t lost = 0;         // expected - distinct timestamps
    std::uint64_t duplicates = 0;
    std::uint64_t outOfOrder = 0;
    double maxDeltaMs = 0;           // largest gap between consecutive arrivals
    std::uint32_t maxDeltaFrame = 0; // the later frame of that gap (1-based)
    double maxJitterMs = 0;          // RFC 3550, the IAX2 timestamp as the sender's clock
    double meanJitterMs = 0;         // mean of J over frames 2 to n
    CaptureTime start;
    double durationSeconds = 0;
};

// The streams of every call, in call order then caller first; a direction
// without voice has no stream.
std::vector<StreamFigures> analyzeStreams(const CallTracker& tracker, const FrameList& frames);

// One voice frame's duration for a codec bit mask and payload size, where
// they tell it (G.711, 16-bit linear, GSM, G.729, G.726, IMA ADPCM, LPC10,
// G.723.1, iLBC); nothing otherwise (Speex, an unknown size).
std::optional<double> frameDurationMs(std::uint32_t codecMask, std::size_t payloadBytes);

} // namespace analysis
