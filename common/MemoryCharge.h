#pragma once

#include "common/MemoryBudget.h"

#include <cstdint>
#include <memory>

// What one holder of memory (a tracker, a table of calls, decoded audio) has
// charged to a memory budget, released when it goes. The holder says how
// much it holds now, and the charge follows.
//
// Not thread-safe: one owner, on one thread (the budget itself is shared).
class MemoryCharge final {
public:
    MemoryCharge() = default;
    explicit MemoryCharge(std::shared_ptr<MemoryBudget> budget) : budget_(std::move(budget)) {}
    ~MemoryCharge() { forceTo(0); }
    MemoryCharge(MemoryCharge&& other) noexcept;
    MemoryCharge& operator=(MemoryCharge&& other) noexcept;
    MemoryCharge(const MemoryCharge&) = delete;
    MemoryCharge& operator=(const MemoryCharge&) = delete;

    // Charges up to `bytes` in all; false, charging nothing more, where the
    // budget cannot take the growth. Always true without a budget.
    [[nodiscard]] bool setTo(std::uint64_t bytes);
    // The same, past the limit if need be: for what was made already and is
    // kept. The budget's next charge() then fails, so the load that feeds
    // the holder stops there, as at any other limit.
    void forceTo(std::uint64_t bytes);
    [[nodiscard]] std::uint64_t charged() const { return charged_; }
    [[nodiscard]] const std::shared_ptr<MemoryBudget>& budget() const { return budget_; }

private:
    std::shared_ptr<MemoryBudget> budget_;
    std::uint64_t charged_ = 0;
};
