#pragma once

#include "calls/CallSignals.h"
#include "capturefile/PayloadLocation.h"

#include <optional>
#include <string>
#include <vector>

// The voice streams of calls, one per direction (caller to callee, callee to
// caller), made of their voice full frames, mini frames and trunk entries,
// and their figures. Times are in milliseconds unless a name says seconds.
namespace quality {

struct StreamFigures {
    std::size_t call = 0;   // index in the tracker's call list
    bool fromCaller = true; // who sent it
    calls::Endpoint source, destination;
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
    calls::CaptureTime start;
    double durationSeconds = 0;
    // What a receiver with a fixed jitter buffer of that many ms made of the
    // arrivals: frames later than their playout time are lost too.
    double jitterBufferMs = 50;
    std::uint64_t late = 0;
    std::int64_t effectiveLost = 0; // lost + late
    // The E-model's verdict (ITU-T G.107), where the frame duration and the
    // codec's figures are known.
    std::optional<double> burstRatio;
    std::optional<double> rFactor;
    std::optional<double> mos;
    // The share of decoded 20 ms blocks above -50 dBov, where the codec has a
    // decoder and the voice was decoded.
    std::optional<double> activity;
    // The last receiver report of the stream's receiver (RFC 5456 RR_*
    // elements of its PONGs): its own view of this stream.
    std::optional<calls::ReceiverReport> reported;
};

// How the streams are judged.
struct QualityOptions {
    double jitterBufferMs = 50; // the receiver's fixed jitter buffer
    friend bool operator==(const QualityOptions&, const QualityOptions&) = default;
};

// A voice frame as the stream's receiver saw it.
enum class PacketStatus : std::uint8_t {
    Ok,
    LostBefore, // frames that never came lie between this one and the one before it
    Duplicate,  // its timestamp was seen before in the stream
    OutOfOrder, // not a duplicate, but below the largest timestamp seen before it
};
[[nodiscard]] const char* statusText(PacketStatus status); // "ok", "lost before"...

struct StreamPacket {
    std::uint32_t frameNumber = 0; // 1-based, in the capture
    std::uint32_t timestamp = 0;   // the sender's milliseconds, mini timestamps extended
    std::uint32_t codecMask = 0;   // the codec it was sent in (0 where unknown)
    double arrivalMs = 0;          // capture time since the call's first frame
    double deltaMs = 0;            // since the stream's previous arrival (0 for the first)
    double jitterMs = 0;           // J once this frame has arrived
    PacketStatus status = PacketStatus::Ok;
    bool late = false;            // arrived after its playout time in the jitter buffer
    std::uint32_t lostBefore = 0; // how many, where the frame duration tells it
    PayloadLocation payload;
};

struct VoiceStream {
    StreamFigures figures;
    std::vector<StreamPacket> packets; // in arrival order
    // Every receiver report on it, in order: what its receiver saw.
    std::vector<calls::ReceiverReport> reports;
};

// The packets to play, once each (duplicates left out), in the order they
// were sent: indexes into `packets`.
std::vector<std::size_t> sendingOrder(const std::vector<StreamPacket>& packets);

// One voice frame's duration for a codec bit mask and payload size, where
// they tell it (G.711, 16-bit linear, GSM, G.729, G.726, IMA ADPCM, LPC10,
// G.723.1, iLBC); nothing otherwise (Speex, an unknown size).
std::optional<double> frameDurationMs(std::uint32_t codecMask, std::size_t payloadBytes);

} // namespace quality
