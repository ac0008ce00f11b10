#pragma once

#include "calls/CallTracker.h"

#include <optional>
#include <string>
#include <vector>

namespace calls {

// A receiver report (RFC 5456 RR_* elements of a PONG): what the end that
// sent it saw of the stream it receives.
struct ReceiverReport {
    std::optional<std::uint32_t> jitter, lossPercent, lost, packets, delay, dropped, outOfOrder;
    std::uint32_t frame = 0; // the frame that carried it
    double arrivalMs = 0;    // its capture time since the call's first frame
};

// A DTMF digit of a call: signalled as DTMF frames (type 1 end, type 12
// begin), or heard in band, in its decoded voice.
struct DtmfEvent {
    std::size_t call = 0; // index in the tracker's call list
    bool fromCaller = true;
    char digit = '?';
    enum class Source : std::uint8_t { Signalled, InBand } source = Source::Signalled;
    enum class Kind : std::uint8_t { Begin, End, Tone } kind = Kind::End;
    std::uint32_t frame = 0; // the DTMF frame, or the first voice frame carrying the tone
    CaptureTime captured;
    std::optional<double> durationMs; // in band only
    std::uint32_t timestamp = 0;      // the sender's, of a signalled digit
};

// What a call's own signalling says of it: the round trips measured by
// PING/PONG and LAGRQ/LAGRP, the receiver reports each end sent, and the
// DTMF digits signalled.
struct CallQuality {
    std::uint64_t rttSamples = 0;
    std::optional<double> rttMin, rttMean, rttMax; // ms
    // LAGRP goes through the far end's jitter buffer: kept apart.
    std::uint64_t lagSamples = 0;
    std::optional<double> lagMean;
    std::string dtmf; // the digits signalled, in order
};

// Follows one call's frames for those, as a load hands them over.
class CallSignals final {
public:
    CallSignals(const CallList& calls, std::size_t index);
    void add(const KvIAXFrame& frame, std::uint32_t frameNumber);

    [[nodiscard]] CallQuality quality() const;
    // The reports sent by the caller (side 0) or the callee (1), in order:
    // each describes the stream that side receives.
    [[nodiscard]] const std::vector<ReceiverReport>& reportsBy(int side) const {
        return reports_[side];
    }
    [[nodiscard]] const std::vector<DtmfEvent>& dtmf() const { return dtmf_; }
    [[nodiscard]] std::uint64_t heldBytes() const;

private:
    struct Probe {
        std::uint32_t timestamp;
        double arrivalMs;
    };
    struct RoundTrip {
        std::uint64_t samples = 0;
        double min = 0, max = 0, sum = 0;
        void add(double ms);
    };
    // Answers the last probe the other side sent with the same timestamp.
    static void answer(std::vector<Probe>& probes, std::uint32_t timestamp, double arrivalMs,
                       RoundTrip& into);

    const CallList* calls_;
    std::size_t index_;
    std::vector<Probe> pings_[2], lagRequests_[2]; // by the side that sent them
    RoundTrip rtt_, lag_;
    std::vector<ReceiverReport> reports_[2];
    std::vector<DtmfEvent> dtmf_;
};

} // namespace calls
