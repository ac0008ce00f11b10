#include "capture/LiveRunGate.h"

void LiveRunGate::enter() {
    std::unique_lock lock(mutex_);
    free_.wait(lock, [this] { return !busy_; });
    busy_ = true;
}

void LiveRunGate::leave() {
    {
        std::lock_guard lock(mutex_);
        busy_ = false;
    }
    free_.notify_one();
}
