#include "dissect/FrameAllocator.h"

#include <new>

class FrameAllocator::Block final {
public:
    Block(std::shared_ptr<MemoryBudget> budget, std::uint64_t charged)
        : budget_(std::move(budget)), charged_(charged) {}
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    ~Block() {
        for (std::size_t i = 0; i < used_; ++i) {
            slot(i)->~KvIAXFrame();
        }
        if (budget_) {
            budget_->release(charged_);
        }
    }
    void addCharge(std::uint64_t bytes) { charged_ += bytes; }

    [[nodiscard]] bool full() const { return used_ == framesPerBlock; }
    KvIAXFrame* makeFrame() {
        KvIAXFrame* frame = new (storage_ + used_ * sizeof(KvIAXFrame)) KvIAXFrame();
        ++used_;
        return frame;
    }

private:
    KvIAXFrame* slot(std::size_t i) {
        return std::launder(reinterpret_cast<KvIAXFrame*>(storage_ + i * sizeof(KvIAXFrame)));
    }

    alignas(KvIAXFrame) std::byte storage_[framesPerBlock * sizeof(KvIAXFrame)];
    std::size_t used_ = 0;
    std::shared_ptr<MemoryBudget> budget_;
    std::uint64_t charged_;
};

FrameAllocator::FrameAllocator(std::shared_ptr<MemoryBudget> budget) : budget_(std::move(budget)) {}

std::shared_ptr<KvIAXFrame> FrameAllocator::makeFrame() {
    if (!block_ || block_->full()) {
        constexpr std::uint64_t blockCharge = framesPerBlock * bytesPerFrame;
        if (budget_ && !budget_->charge(blockCharge)) {
            return nullptr;
        }
        block_ = std::make_shared<Block>(budget_, budget_ ? blockCharge : 0);
    }
    // Shares the block's reference count: the record keeps its block alive.
    return {block_, block_->makeFrame()};
}

bool FrameAllocator::chargeExtra(std::uint64_t bytes) {
    if (!budget_ || bytes == 0) {
        return true;
    }
    if (!block_ || !budget_->charge(bytes)) {
        return false;
    }
    block_->addCharge(bytes);
    return true;
}
