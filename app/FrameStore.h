#pragma once

#include "dissect/KvIAXFrame.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quality {
class ProblemTracker;
}

// A capture's frame records: the list as the runs deliver it, the records
// kept for the problems found once the rest are let go, and the workers'
// blocks that wait until the frames they carried have been followed.
class FrameStore {
public:
    FrameList& list() { return list_; }
    [[nodiscard]] const FrameList& list() const { return list_; }
    // The list's first record, or nothing: work spread over time that finds
    // another first record knows the list was replaced meanwhile.
    [[nodiscard]] const KvIAXFrame* first() const {
        return list_.empty() ? nullptr : list_.front().get();
    }
    // Frame `number` (from 1), where it is still held or a problem keeps it.
    [[nodiscard]] const KvIAXFrame* frameOf(std::uint32_t number) const;

    // Keeps the records of the problems `problems` found since the last call,
    // then lets go of every record before `followed`.
    void releaseFollowed(const quality::ProblemTracker* problems, std::size_t followed);
    // The problems are being found again from the first frame.
    void forgetProblemFrames();

    // `token` goes once the frames up to the list's end now are followed.
    void holdUntilFollowed(std::shared_ptr<void> token) {
        unfollowed_.emplace_back(list_.size(), std::move(token));
    }
    // Lets go of the blocks whose frames are among the first `followed`, or
    // of all of them.
    void letFollowedBlocksGo(std::size_t followed, bool all = false);

private:
    FrameList list_;
    std::unordered_map<std::uint32_t, std::shared_ptr<KvIAXFrame>> problemFrames_;
    std::size_t problemsKept_ = 0; // of the problem tracker's found()
    // Each with the frame count that lets it go.
    std::vector<std::pair<std::size_t, std::shared_ptr<void>>> unfollowed_;
};
