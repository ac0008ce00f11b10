#pragma once

#include <condition_variable>
#include <mutex>

// Live runs share the temporary capture file and the capture permission, so
// only one may be active at a time. A live worker enters the gate on its own
// thread before it does anything, waiting there while an earlier run is still
// ending, and leaves it after it has narrowed the permission again.
class LiveRunGate final {
public:
    void enter();
    void leave();

    // Holds the gate for a scope.
    class Pass final {
    public:
        explicit Pass(LiveRunGate& gate) : gate_(gate) { gate_.enter(); }
        ~Pass() { gate_.leave(); }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

    private:
        LiveRunGate& gate_;
    };

private:
    std::mutex mutex_;
    std::condition_variable free_;
    bool busy_ = false;
};
