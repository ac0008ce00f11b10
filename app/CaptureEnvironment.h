#pragma once

#include "capture/CaptureServices.h"
#include "capture/CapturePermission.h"
#include "capture/LiveCaptureFile.h"
#include "capture/LiveRunGate.h"
#include "capture/QueuedHandoff.h"
#include "capture/WorkerThreads.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What both programs run their captures with, wired in one place: the
// main-thread hand-off, the worker threads, one live run at a time, the
// capture permission and the live settings. Create on the main thread.
class CaptureEnvironment final {
public:
    struct Options {
        // The interface live runs open: this name, else QUORVEX_INTERFACE,
        // else en0.
        std::optional<std::string> interfaceName;
        // Debug logging: the per-packet lines too. QUORVEX_DEBUG=1 also turns it on.
        bool debug = false;
        // Where unrecognised information elements are dumped.
        std::ostream* unknownElementDump = nullptr;
        CaptureAlert* alert = nullptr;
        // Also print the capture library's failures on standard error.
        bool printLibraryErrors = true;
        // What the frame records may hold together: this many bytes, else
        // QUORVEX_MEMORY_LIMIT (a size such as 512M), else half the memory.
        std::optional<std::uint64_t> memoryLimit;
    };

    explicit CaptureEnvironment(const Options& options);
    CaptureEnvironment(const CaptureEnvironment&) = delete;
    CaptureEnvironment& operator=(const CaptureEnvironment&) = delete;

    [[nodiscard]] const CaptureServices& services() const { return services_; }
    [[nodiscard]] LiveCaptureSettings& liveSettings() { return liveSettings_; }
    [[nodiscard]] WorkerThreads& threads() { return threads_; }
    // What the next runs open encrypted calls with; change on the main thread.
    [[nodiscard]] std::vector<std::string>& secrets() { return secrets_; }
    // The environment's QUORVEX_MEMORY_LIMIT, when it names a size; `valid`
    // tells whether it was absent or one.
    static std::optional<std::uint64_t> memoryLimitFromEnvironment(bool* valid = nullptr);
    // Lets every worker finish, serving the hand-off meanwhile.
    void waitForWorkers();
    // At the end of main, once every capture was stopped and called off:
    // lets the workers finish for at most a second, and where one is still
    // blocked (on a FIFO that no one writes, say) ends the process without
    // it. Returns `status` when all ended.
    int endWorkers(int status);

private:
    QueuedHandoff handoff_;
    WorkerThreads threads_;
    LiveRunGate liveGate_;
    std::unique_ptr<CapturePermission> permission_;
    LiveCaptureSettings liveSettings_;
    std::vector<std::string> secrets_;
    LiveFileRecord liveFiles_;
    CaptureServices services_;
};
