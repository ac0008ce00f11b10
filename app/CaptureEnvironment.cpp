#include "app/CaptureEnvironment.h"

#include "capture/DefaultInterface.h"
#include "common/Log.h"
#include "common/MemoryBudget.h"

#include <QCoreApplication>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

CaptureEnvironment::CaptureEnvironment(const Options& options)
    : permission_(makeCapturePermission()) {
    if (options.debug) {
        kvlog::setDebugEnabled(true);
    }
    kvlog::enableDebugFromEnvironment();
    if (options.interfaceName) {
        liveSettings_.interfaceName = *options.interfaceName;
    } else if (const char* name = std::getenv("QUORVEX_INTERFACE"); name != nullptr && *name) {
        liveSettings_.interfaceName = name;
    } else {
        liveSettings_.interfaceName = defaultinterface::onThisMachine();
    }
    services_.handoff = &handoff_;
    services_.alert = options.alert;
    services_.threads = &threads_;
    services_.unknownElementDump = options.unknownElementDump;
    services_.printLibraryErrors = options.printLibraryErrors;
    services_.liveGate = &liveGate_;
    services_.permission = permission_.get();
    services_.liveSettings = &liveSettings_;
    services_.secrets = &secrets_;
    services_.liveFiles = &liveFiles_;
    services_.memoryBudget = std::make_shared<MemoryBudget>(options.memoryLimit.value_or(
        memoryLimitFromEnvironment().value_or(MemoryBudget::defaultLimit())));
}

std::optional<std::uint64_t> CaptureEnvironment::memoryLimitFromEnvironment(bool* valid) {
    const char* text = std::getenv("QUORVEX_MEMORY_LIMIT");
    const auto limit =
        text != nullptr && *text != '\0' ? MemoryBudget::parseSize(text) : std::nullopt;
    if (valid != nullptr) {
        *valid = text == nullptr || *text == '\0' || limit.has_value();
    }
    return limit;
}

void CaptureEnvironment::waitForWorkers() {
    threads_.waitForAll([] { QCoreApplication::processEvents(); });
}

int CaptureEnvironment::endWorkers(int status) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    if (!threads_.waitForAll([] { QCoreApplication::processEvents(); }, deadline)) {
        std::fflush(nullptr);
        _exit(status);
    }
    return status;
}
