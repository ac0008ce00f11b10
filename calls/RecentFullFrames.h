#pragma once

#include <cstdint>
#include <deque>
#include <unordered_map>

// The reliable full frames each call's ends sent lately, to tell a resend:
// a full frame with the call, direction, sequence number, timestamp, type
// and subclass of an earlier one is that frame again, whether or not its
// retransmission flag is set (real peers clear it when they resend after a
// VNAK). Kept for ten seconds of capture time, and at most 65,536 frames,
// far longer than peers wait to resend: memory stays flat on long runs.
namespace calls {

class RecentFullFrames final {
public:
    struct Key {
        std::uint32_t call = 0;
        std::uint32_t timestamp = 0;
        std::uint8_t fromCaller = 0;
        std::uint8_t outSequence = 0;
        std::uint8_t frameType = 0;
        std::uint8_t subclass = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };

    // The frame number of the earlier frame `key` repeats, or 0 where it
    // repeats none (it is then kept as sent at `nanoseconds`, frame
    // `frameNumber`).
    std::uint32_t originalOf(const Key& key, std::int64_t nanoseconds, std::uint32_t frameNumber);
    [[nodiscard]] std::uint64_t heldBytes() const;

private:
    struct KeyHash {
        std::size_t operator()(const Key& key) const;
    };
    struct Sent {
        Key key;
        std::int64_t nanoseconds;
    };
    std::unordered_map<Key, std::uint32_t, KeyHash> frameOf_;
    std::deque<Sent> inOrder_; // oldest first, to let go of
};

} // namespace calls
