#pragma once

#include "calls/CallTracker.h"
#include "quality/StreamTypes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace quality {

// The voice streams of some of a tracker's calls, with their packets, built
// from the calls' frames as they are handed over in frame order: from a
// capture's records, or from its file decoded again.
class VoiceStreamBuilder final {
public:
    VoiceStreamBuilder(const calls::CallTracker& tracker, const std::vector<std::size_t>& calls,
                 const QualityOptions& options = {});
    ~VoiceStreamBuilder();
    VoiceStreamBuilder(const VoiceStreamBuilder&) = delete;
    VoiceStreamBuilder& operator=(const VoiceStreamBuilder&) = delete;

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

// The streams of every call in the frames, in call order then caller first;
// a direction without voice has no stream.
std::vector<StreamFigures> analyzeStreams(const FrameList& frames,
                                          const QualityOptions& options = {});

// The streams of the tracker's call `index`, with their packets.
std::vector<VoiceStream> callStreams(const calls::CallTracker& tracker, std::size_t index,
                                     const FrameList& frames, const QualityOptions& options = {});

} // namespace quality
