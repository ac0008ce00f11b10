#pragma once

#include "calls/CallTracker.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace calls {

// Which calls (1-based, in the calls list's order) each frame belongs to,
// and which frames are resends, kept up with a tracker as a capture grows.
struct FrameCalls {
    // Takes in the frames the tracker's calls gained since the last update.
    void update(const CallTracker& tracker);

    template <class Visit> void forEachCall(std::uint32_t frameNumber, Visit&& visit) const {
        if (frameNumber == 0 || frameNumber > first.size() || first[frameNumber - 1] == 0) {
            return;
        }
        visit(first[frameNumber - 1]);
        auto more = std::lower_bound(others.begin(), others.end(), std::pair{frameNumber, 0u});
        for (; more != others.end() && more->first == frameNumber; ++more) {
            visit(more->second);
        }
    }

    // The frame `frameNumber` repeats (a resend), or 0.
    [[nodiscard]] std::uint32_t originalOf(std::uint32_t frameNumber) const {
        return originalIn(resends, frameNumber);
    }

    // About how much memory the table holds, for the memory budget.
    [[nodiscard]] std::uint64_t heldBytes() const {
        return first.capacity() * sizeof(first[0]) + others.capacity() * sizeof(others[0]) +
               taken.capacity() * sizeof(taken[0]) + resends.capacity() * sizeof(resends[0]);
    }

    std::vector<std::uint32_t> first; // by frame: its first call, 0 for none
    std::vector<std::pair<std::uint32_t, std::uint32_t>>
        others;                     // frame, call: trunk frames of several calls
    std::vector<std::size_t> taken; // by call: how many of its frame numbers are in
    std::vector<std::pair<std::uint32_t, std::uint32_t>> resends; // as the tracker's
};

} // namespace calls
