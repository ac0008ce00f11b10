#pragma once

#include <functional>

// How a worker thread gets work done on the main thread, which alone may
// change a capture and its frame list.
class MainThreadHandoff {
public:
    virtual ~MainThreadHandoff() = default;
    // Runs `task` on the main thread and returns once it has run. Called on the
    // main thread itself, runs it at once.
    virtual void runAndWait(const std::function<void()>& task) = 0;
    // Runs `task` on the main thread later, without waiting for it.
    virtual void post(std::function<void()> task) = 0;
    [[nodiscard]] virtual bool isMainThread() const = 0;
};
