#pragma once

#include "common/MemoryBudget.h"
#include "dissect/KvIAXFrame.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Makes fresh frame records for one worker, many to an allocation: each
// record shares the reference count of its block instead of having its own,
// which saves a third of the memory a held record costs. A block lives while
// any of its records is held.
//
// With a memory budget, each block is charged for its records and their
// places in a frame list, and for what its records hold besides (element
// areas); the charge is released when the block goes.
//
// Not thread-safe: one allocator per worker thread.
class FrameAllocator final {
public:
    static constexpr std::size_t framesPerBlock = 1024;
    // What a held record costs: itself and its place in a capture's list.
    static constexpr std::uint64_t bytesPerFrame =
        sizeof(KvIAXFrame) + sizeof(std::shared_ptr<KvIAXFrame>);

    explicit FrameAllocator(std::shared_ptr<MemoryBudget> budget = nullptr);

    // Nothing when the budget cannot take another block.
    [[nodiscard]] std::shared_ptr<KvIAXFrame> makeFrame();
    // Charges what the last record made holds besides itself; false, charging
    // nothing, when the budget cannot take it.
    [[nodiscard]] bool chargeExtra(std::uint64_t bytes);

private:
    class Block;
    std::shared_ptr<MemoryBudget> budget_;
    std::shared_ptr<Block> block_;
};
