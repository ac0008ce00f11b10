#pragma once

#include "platform/LogSink.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace kvlog {

// Writes lines to the system log, in the order they were written, as
// syslog(3) would: one datagram "<13>Mmm dd hh:mm:ss IDENTITY[PID]: LINE" per
// line to the log socket. A file load writes three or four lines per packet
// and syslog(3) costs over ten microseconds a line here, so writers only queue
// their lines; a thread of the sink sends them in batches (sendmmsg). When
// the queue is long the writers wait for it rather than drop lines or grow
// without bound. Where nothing listens on the socket (no syslog daemon, as in
// containers and CI) lines are dropped at once.
class SyslogSink final : public LogSink {
public:
    explicit SyslogSink(std::string identity, std::string socketPath = "/dev/log");
    // Sends what is still queued, then stops.
    ~SyslogSink() override;
    SyslogSink(const SyslogSink&) = delete;
    SyslogSink& operator=(const SyslogSink&) = delete;

    void write(std::string_view line) override;
    // Returns once every line written so far has been sent (or dropped).
    void flush();

private:
    bool daemonListening();
    void run();
    void send(const std::string& entries);
    bool connectSocket();

    const std::string identity_;
    const std::string socketPath_;
    std::atomic<std::int64_t> nextCheckSecond_{0};
    std::atomic<bool> listening_{false};

    std::mutex mutex_;
    std::condition_variable wakeWriter_;
    std::condition_variable queueShrank_;
    std::string queued_; // entries: 8-byte time, 2-byte length, the line
    std::uint64_t linesQueued_ = 0;
    std::uint64_t linesSent_ = 0;
    bool stopping_ = false;
    std::thread writer_;
    int socket_ = -1;
};

} // namespace kvlog
