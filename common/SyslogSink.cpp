#include "common/SyslogSink.h"

#include <ctime>
#include <syslog.h>
#include <unistd.h>

namespace kvlog {

SyslogSink::SyslogSink(const char* identity) {
    openlog(identity, LOG_PID, LOG_USER);
}

SyslogSink::~SyslogSink() {
    closelog();
}

bool SyslogSink::daemonListening() {
    // The socket may appear or vanish while we run; look again once a second.
    const std::int64_t now = std::time(nullptr);
    if (now >= nextCheckSecond_.load(std::memory_order_relaxed)) {
        nextCheckSecond_.store(now + 1, std::memory_order_relaxed);
        listening_.store(access("/dev/log", W_OK) == 0, std::memory_order_relaxed);
    }
    return listening_.load(std::memory_order_relaxed);
}

void SyslogSink::write(std::string_view line) {
    if (!daemonListening()) {
        return;
    }
    syslog(LOG_NOTICE, "%.*s", static_cast<int>(line.size()), line.data());
}

} // namespace kvlog
