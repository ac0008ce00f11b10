#include "common/MemoryBudget.h"

#include <unistd.h>

#include <charconv>

std::uint64_t MemoryBudget::defaultLimit() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) {
        return std::uint64_t{4} << 30; // unknown: 4 GiB
    }
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
}

std::optional<std::uint64_t> MemoryBudget::parseSize(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end == text.data()) {
        return std::nullopt;
    }
    const std::string_view unit(end, static_cast<std::size_t>(text.data() + text.size() - end));
    int shift = 0;
    if (unit == "K" || unit == "k") {
        shift = 10;
    } else if (unit == "M" || unit == "m") {
        shift = 20;
    } else if (unit == "G" || unit == "g") {
        shift = 30;
    } else if (!unit.empty()) {
        return std::nullopt;
    }
    if (value == 0 || value > (UINT64_MAX >> shift)) {
        return std::nullopt;
    }
    return value << shift;
}

bool MemoryBudget::charge(std::uint64_t bytes) {
    std::uint64_t held = held_.load(std::memory_order_relaxed);
    do {
        if (held + bytes > limit_) {
            return false;
        }
    } while (!held_.compare_exchange_weak(held, held + bytes, std::memory_order_relaxed));
    return true;
}
