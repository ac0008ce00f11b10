#pragma once

#include "dissect/KvIAXFrame.h"

#include <cstddef>
#include <memory>

// Makes fresh frame records for one worker, many to an allocation: each
// record shares the reference count of its block instead of having its own,
// which saves a third of the memory a held record costs. A block lives while
// any of its records is held.
//
// Not thread-safe: one allocator per worker thread.
class FrameAllocator final {
public:
    static constexpr std::size_t framesPerBlock = 1024;

    [[nodiscard]] std::shared_ptr<KvIAXFrame> makeFrame();

private:
    class Block;
    std::shared_ptr<Block> block_;
};
