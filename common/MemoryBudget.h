#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

// How much memory the captures may hold together: their frame records, and
// what is made from them (calls, streams, filter tables, decoded audio). A
// load or live run that would pass it stops with an error and keeps what it
// has, instead of the system killing the process. Charged by the workers for
// records and by the holders of the rest (MemoryCharge), released when they
// are freed; safe from any thread.
class MemoryBudget final {
public:
    explicit MemoryBudget(std::uint64_t limitBytes) : limit_(limitBytes) {}

    // Half the physical memory.
    static std::uint64_t defaultLimit();
    // "1048576", "512K", "64M", "2G" (powers of 1024); nothing when not a size.
    static std::optional<std::uint64_t> parseSize(std::string_view text);

    // False, charging nothing, when `bytes` more would pass the limit.
    [[nodiscard]] bool charge(std::uint64_t bytes);
    // Charges `bytes` even past the limit, for what exists already; every
    // charge() fails from then on until enough is released.
    void force(std::uint64_t bytes) { held_.fetch_add(bytes, std::memory_order_relaxed); }
    void release(std::uint64_t bytes) { held_.fetch_sub(bytes, std::memory_order_relaxed); }
    [[nodiscard]] std::uint64_t held() const { return held_.load(std::memory_order_relaxed); }
    [[nodiscard]] std::uint64_t limit() const { return limit_; }

private:
    const std::uint64_t limit_;
    std::atomic<std::uint64_t> held_{0};
};
