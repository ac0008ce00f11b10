#pragma once

#include "common/Log.h"

#include <atomic>
#include <cstdint>

namespace kvlog {

// Writes lines to the system log through syslog(3). Where no syslog daemon
// listens (no /dev/log, as in containers and CI) lines are dropped without a
// system call: glibc would otherwise try to connect again for every line,
// which costs several system calls per decoded packet.
class SyslogSink final : public LogSink {
public:
    explicit SyslogSink(const char* identity);
    ~SyslogSink() override;
    SyslogSink(const SyslogSink&) = delete;
    SyslogSink& operator=(const SyslogSink&) = delete;

    void write(std::string_view line) override;

private:
    bool daemonListening();

    std::atomic<std::int64_t> nextCheckSecond_{0};
    std::atomic<bool> listening_{false};
};

} // namespace kvlog
