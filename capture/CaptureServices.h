#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>

class CaptureAlert;
class MainThreadHandoff;
class WorkerThreads;

// What a capture and its workers use of the application around them, passed
// in so that tests can replace each part.
struct CaptureServices {
    using Clock = std::chrono::steady_clock;

    MainThreadHandoff* handoff = nullptr;
    CaptureAlert* alert = nullptr;
    WorkerThreads* threads = nullptr;
    // Where unrecognised information elements are dumped.
    std::ostream* unknownElementDump = nullptr;
    // The delivery clock; empty means the steady clock.
    std::function<Clock::time_point()> clock;
};
