#include "app/FrameStore.h"

#include "quality/Problems.h"

#include <algorithm>

const KvIAXFrame* FrameStore::frameOf(std::uint32_t number) const {
    if (number > list_.released() && number <= list_.size()) {
        return list_[number - 1].get();
    }
    const auto kept = problemFrames_.find(number);
    return kept != problemFrames_.end() ? kept->second.get() : nullptr;
}

void FrameStore::releaseFollowed(const quality::ProblemTracker* problems, std::size_t followed) {
    if (problems != nullptr) {
        const auto& found = problems->found();
        for (; problemsKept_ < found.size(); ++problemsKept_) {
            const std::uint32_t number = found[problemsKept_].frame;
            if (number > list_.released() && number <= list_.size()) {
                problemFrames_.emplace(number, list_[number - 1]);
            }
        }
    }
    list_.releaseBefore(followed);
}

void FrameStore::forgetProblemFrames() {
    problemFrames_.clear();
    problemsKept_ = 0;
}

void FrameStore::letFollowedBlocksGo(std::size_t followed, bool all) {
    const auto stillWaiting =
        std::find_if(unfollowed_.begin(), unfollowed_.end(),
                     [&](const auto& block) { return !all && block.first > followed; });
    unfollowed_.erase(unfollowed_.begin(), stillWaiting);
}
