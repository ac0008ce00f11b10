#include "dissect/FrameAllocator.h"

#include <new>

class FrameAllocator::Block final {
public:
    Block() = default;
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    ~Block() {
        for (std::size_t i = 0; i < used_; ++i) {
            slot(i)->~KvIAXFrame();
        }
    }

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
};

std::shared_ptr<KvIAXFrame> FrameAllocator::makeFrame() {
    if (!block_ || block_->full()) {
        block_ = std::make_shared<Block>();
    }
    // Shares the block's reference count: the record keeps its block alive.
    return {block_, block_->makeFrame()};
}
