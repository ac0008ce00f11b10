#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>

#include <string>
#include <vector>

class CaptureAlert;
class CapturePermission;
class LiveFileRecord;
class MemoryBudget;
class LiveRunGate;
class MainThreadHandoff;
class WorkerThreads;

// Settings of live captures that are the application's, not a capture's.
struct LiveCaptureSettings {
    static constexpr const char* defaultInterface = "en0";
    static constexpr const char* defaultTemporaryFile = "/tmp/quorvex.capture";

    std::string interfaceName = defaultInterface;
    // Every live run writes its packets here; Save moves it.
    std::string temporaryFile = defaultTemporaryFile;
    // The capture helper; empty: quorvex-capture beside the running program.
    std::string helperPath;
};

// What a capture and its workers use of the application around them, passed
// in so that tests can replace each part.
struct CaptureServices {
    using Clock = std::chrono::steady_clock;

    MainThreadHandoff* handoff = nullptr;
    CaptureAlert* alert = nullptr;
    WorkerThreads* threads = nullptr;
    // Where unrecognised information elements are dumped.
    std::ostream* unknownElementDump = nullptr;
    // Whether a worker also prints the capture library's failures on standard
    // error, beside reporting them to the capture. A tool whose alert prints
    // them already turns this off, so that each error is printed once.
    bool printLibraryErrors = true;
    // Live capture: one run at a time, the permission to open the interface,
    // and the settings (read on the main thread when a run starts).
    LiveRunGate* liveGate = nullptr;
    CapturePermission* permission = nullptr;
    const LiveCaptureSettings* liveSettings = nullptr;
    // Which file this process's last live run made, for Save.
    LiveFileRecord* liveFiles = nullptr;
    // What the frame records of all captures may hold together; none: no limit.
    std::shared_ptr<MemoryBudget> memoryBudget;
    // The secrets the frames of encrypted calls are opened with, tried in
    // order; read on the main thread when a run starts. None: no secret.
    const std::vector<std::string>* secrets = nullptr;
    // The delivery clock; empty means the steady clock.
    std::function<Clock::time_point()> clock;
};
