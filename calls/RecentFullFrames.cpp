#include "calls/RecentFullFrames.h"

#include <functional>

namespace calls {
namespace {

constexpr std::int64_t keptNanoseconds = 10'000'000'000;
constexpr std::size_t mostKept = 65'536;

} // namespace

std::size_t RecentFullFrames::KeyHash::operator()(const Key& key) const {
    std::uint64_t packed = std::uint64_t{key.call} << 32 | key.timestamp;
    packed ^= (std::uint64_t{key.fromCaller} << 24 | std::uint64_t{key.outSequence} << 16 |
               std::uint64_t{key.frameType} << 8 | key.subclass) *
              0x9E3779B97F4A7C15ULL;
    return std::hash<std::uint64_t>()(packed * 0xBF58476D1CE4E5B9ULL);
}

std::uint32_t RecentFullFrames::originalOf(const Key& key, std::int64_t nanoseconds,
                                           std::uint32_t frameNumber) {
    while (!inOrder_.empty() && (inOrder_.size() >= mostKept ||
                                 inOrder_.front().nanoseconds < nanoseconds - keptNanoseconds)) {
        const auto kept = frameOf_.find(inOrder_.front().key);
        if (kept != frameOf_.end()) {
            frameOf_.erase(kept);
        }
        inOrder_.pop_front();
    }
    const auto [found, fresh] = frameOf_.try_emplace(key, frameNumber);
    if (!fresh) {
        return found->second;
    }
    inOrder_.push_back({key, nanoseconds});
    return 0;
}

std::uint64_t RecentFullFrames::heldBytes() const {
    return frameOf_.size() * (sizeof(Key) + sizeof(std::uint32_t) + 32) +
           frameOf_.bucket_count() * sizeof(void*) + inOrder_.size() * sizeof(Sent);
}

} // namespace calls
