#pragma once

#include "calls/CallSignals.h"
#include "quality/StreamMeter.h"

#include <memory>
#include <vector>

namespace quality {

class CallStreams;

// What a call's streams and signalling say of it.
struct CallVerdict {
    std::optional<double> mos; // the worse direction's
    calls::CallQuality quality;
};

// The streams' figures and the calls' own signalling (round trips, receiver
// reports, DTMF) followed as frames arrive, beside a call tracker: each
// frame is added just after the tracker took it, so that all is ready when
// the load ends.
class StreamTracker final {
public:
    explicit StreamTracker(const calls::CallTracker& calls, const QualityOptions& options = {});
    ~StreamTracker();
    StreamTracker(const StreamTracker&) = delete;
    StreamTracker& operator=(const StreamTracker&) = delete;

    void add(const KvIAXFrame& frame, std::uint32_t frameNumber);
    // In call order then caller first, as analyzeStreams gives them, each
    // with its receiver's last report and the E-model's verdict at the
    // call's round trip.
    [[nodiscard]] std::vector<StreamFigures> figures() const;
    // Those of call `index` alone.
    [[nodiscard]] std::vector<StreamFigures> callFigures(std::size_t index) const;
    [[nodiscard]] CallVerdict verdict(std::size_t index) const;
    // What call `index`'s signalling says; nothing for a call without frames yet.
    [[nodiscard]] const calls::CallSignals* signalling(std::size_t index) const;
    // What went wrong in call `index`'s stream from the caller (side 0) or the callee.
    [[nodiscard]] StreamTrouble trouble(std::size_t index, int side) const;
    [[nodiscard]] bool hasVoice(std::size_t index) const;
    [[nodiscard]] std::size_t callCount() const { return followed_.size(); }
    [[nodiscard]] const QualityOptions& options() const { return options_; }
    // About how much memory the streams' figures hold, for the memory budget.
    // The calls that took frames since the last call are measured again.
    [[nodiscard]] std::uint64_t heldBytes() const;

private:
    struct Followed;

    const calls::CallTracker& calls_;
    QualityOptions options_;
    std::vector<std::unique_ptr<Followed>> followed_; // by call
    // Measured when asked rather than with each frame: a call's size
    // changes only as its lists grow, and measuring walks them all.
    mutable std::uint64_t held_ = 0;
    mutable std::vector<std::size_t> unmeasured_; // calls that took frames since
};

// Sets the stream's receiver report from the last one its receiver sent.
void attachReport(StreamFigures& stream, const calls::CallSignals& signalling);

} // namespace quality
