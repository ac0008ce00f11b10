#include "common/MemoryCharge.h"

#include <utility>

MemoryCharge::MemoryCharge(MemoryCharge&& other) noexcept
    : budget_(std::move(other.budget_)), charged_(std::exchange(other.charged_, 0)) {}

MemoryCharge& MemoryCharge::operator=(MemoryCharge&& other) noexcept {
    if (this != &other) {
        forceTo(0);
        budget_ = std::move(other.budget_);
        charged_ = std::exchange(other.charged_, 0);
    }
    return *this;
}

bool MemoryCharge::setTo(std::uint64_t bytes) {
    if (!budget_ || bytes <= charged_) {
        forceTo(bytes);
        return true;
    }
    if (!budget_->charge(bytes - charged_)) {
        return false;
    }
    charged_ = bytes;
    return true;
}

void MemoryCharge::forceTo(std::uint64_t bytes) {
    if (!budget_) {
        charged_ = bytes;
        return;
    }
    if (bytes > charged_) {
        budget_->force(bytes - charged_);
    } else {
        budget_->release(charged_ - bytes);
    }
    charged_ = bytes;
}
