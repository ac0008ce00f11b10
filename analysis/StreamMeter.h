#pragma once

#include "analysis/StreamAnalysis.h"

#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

namespace analysis {

// The figures of one voice stream, taken packet by packet in arrival order:
// each packet gets its delta, jitter and status (duplicate, out of order) as
// it is added, and the stream's counts and extremes follow.
class StreamMeter final {
public:
    // Room for about `packets` packets, so that a stream grows in one step.
    void reserve(std::size_t packets) { seen_.reserve(packets); }
    void add(StreamPacket& packet);
    // Counts, delta, jitter and, where the frame duration is known, expected
    // and lost. Source, destination, codec and times are the caller's.
    [[nodiscard]] StreamFigures figures(std::optional<double> frameMs) const;
    // About how much memory it holds beside itself.
    [[nodiscard]] std::uint64_t heldBytes() const { return seen_.heldBytes(); }

private:
    // The timestamps seen so far. Most streams only ever go up, so a
    // timestamp above all before it is new without a look-up; the set is
    // made once one is not.
    class Seen {
    public:
        bool insert(std::uint32_t timestamp); // true where it was not seen before
        void reserve(std::size_t count) { rising_.reserve(count); }
        [[nodiscard]] std::uint64_t distinct() const { return distinct_; }
        [[nodiscard]] std::uint64_t heldBytes() const {
            // A set's node: the value, a link and the allocation's own words.
            return rising_.capacity() * sizeof(std::uint32_t) + set_.size() * 32 +
                   set_.bucket_count() * sizeof(void*);
        }

    private:
        std::vector<std::uint32_t> rising_; // while every one so far was higher
        std::unordered_set<std::uint32_t> set_;
        std::uint64_t distinct_ = 0;
    };

    Seen seen_;
    std::uint64_t packets_ = 0, duplicates_ = 0, outOfOrder_ = 0;
    std::uint32_t smallest_ = 0, largest_ = 0, previousTimestamp_ = 0;
    double previousArrival_ = 0;
    double jitter_ = 0, jitterSum_ = 0, maxJitter_ = 0, maxDelta_ = 0;
    std::uint32_t maxDeltaFrame_ = 0;
};

// Marks, at the first frame after each gap in the sender's order, how many
// frames never came (`packets` in arrival order, statuses already set).
void markLosses(std::vector<StreamPacket>& packets, double frameMs);

} // namespace analysis
