#pragma once

#include "analysis/CallTracker.h"
#include "analysis/StreamAnalysis.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace analysis {

// The voice streams of some of a tracker's calls, with their packets, built
// from the calls' frames as they are handed over in frame order: from a
// capture's records, or from its file decoded again.
class CallsStreams final {
public:
    CallsStreams(const CallTracker& tracker, const std::vector<std::size_t>& calls,
                 const QualityOptions& options = {});
    ~CallsStreams();
    CallsStreams(const CallsStreams&) = delete;
    CallsStreams& operator=(const CallsStreams&) = delete;

    // The numbers of the calls' frames, ascending, each once.
    [[nodiscard]] std::vector<std::uint32_t> wantedFrames() const;
    // Frame `number`, one of wantedFrames(), handed over in ascending order.
    void add(const KvIAXFrame& frame, std::uint32_t number);
    // The streams, in the calls' order, caller first; a direction without
    // voice has none. Once.
    [[nodiscard]] std::vector<VoiceStream> take();

private:
    struct Followed;
    std::vector<std::unique_ptr<Followed>> followed_;
    // Each call's frame numbers with the call they are of, by number.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> frames_;
    std::size_t next_ = 0;
};

} // namespace analysis
