#pragma once

#include "calls/CallTracker.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class KvIAXCapture;

// What a capture holds, summed: its properties, its frames counted by type
// and subclass, the conversations between address:port pairs, and frames
// per interval for an IO graph. Toolkit-neutral: the window's Statistics
// menu and quorvex-dump --stats show the same figures.
namespace capturestatistics {

struct Properties {
    std::string file;   // the path read; empty for a live run not saved
    std::string format; // "pcap (microseconds)", "pcap (nanoseconds)", "pcapng"
    std::optional<std::uint64_t> fileSize;
    std::uint16_t linkType = 0;
    std::string linkName; // "Ethernet", "Linux cooked (SLL)"...
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0; // as on the wire
    std::optional<calls::CaptureTime> first, last;
    double durationSeconds = 0;
    double framesPerSecond = 0, bytesPerSecond = 0;
};
[[nodiscard]] Properties propertiesOf(const KvIAXCapture& capture);

// The same figures summed a frame at a time, for a caller that spreads the
// work over time: at tens of millions of frames each takes seconds.
class PropertiesSum final {
public:
    void add(const KvIAXFrame& frame);
    // The figures of the frames added, and of the file `capture` read.
    [[nodiscard]] Properties finish(const KvIAXCapture& capture) const;

private:
    Properties sums_;
};

// Frames of one frame type and subclass (as the frame table names them).
struct Count {
    std::string type, subclass;
    std::uint64_t frames = 0, bytes = 0;
};
// By type, then subclass, in order of first appearance; `only` (rising
// frame numbers, 1-based) limits it to those frames, as for one call.
[[nodiscard]] std::vector<Count> countsOf(const FrameList& frames,
                                          const std::vector<std::uint32_t>* only = nullptr);
class CountsSum final {
public:
    void add(const KvIAXFrame& frame);
    [[nodiscard]] std::vector<Count> finish() const;

private:
    std::vector<Count> counts_;
    std::unordered_map<std::string, std::size_t> at_; // type, '\0', subclass
    std::string key_;                                 // kept: no text made per frame
};

// The frames between two address:port ends, both ways.
struct Conversation {
    calls::Endpoint a, b; // a sent the first frame
    std::uint64_t framesAtoB = 0, framesBtoA = 0, bytes = 0;
    calls::CaptureTime first, last;
};
[[nodiscard]] std::vector<Conversation> conversationsOf(const FrameList& frames);
class ConversationsSum final {
public:
    void add(const KvIAXFrame& frame);
    [[nodiscard]] const std::vector<Conversation>& conversations() const { return conversations_; }

private:
    // The two ends in an order of their own, whichever sent first.
    using Ends = std::pair<calls::Endpoint, calls::Endpoint>;
    struct EndsOrder {
        bool operator()(const Ends& x, const Ends& y) const;
    };
    std::vector<Conversation> conversations_;
    std::map<Ends, std::size_t, EndsOrder> at_;
};

// How many frames of those `counts` selects (nothing: all) fell in each
// interval of `seconds` from the first frame's time.
[[nodiscard]] std::vector<std::uint64_t>
framesPerInterval(const FrameList& frames, double seconds,
                  const std::function<bool(std::size_t index)>& counts = {});

} // namespace capturestatistics
