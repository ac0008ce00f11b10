#include "common/SyslogSink.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <vector>

namespace kvlog {
namespace {

// Queue sizes: the writer is woken early past the first, writers wait past the second.
constexpr std::size_t wakeBytes = 256 * 1024;
constexpr std::size_t maximumBytes = 8 * 1024 * 1024;
constexpr std::size_t batchSize = 64;
constexpr int userNotice = 8 + 5; // LOG_USER | LOG_NOTICE

} // namespace

SyslogSink::SyslogSink(std::string identity, std::string socketPath)
    : identity_(std::move(identity)), socketPath_(std::move(socketPath)) {}

SyslogSink::~SyslogSink() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wakeWriter_.notify_one();
    if (writer_.joinable()) {
        writer_.join();
    }
    if (socket_ >= 0) {
        close(socket_);
    }
}

bool SyslogSink::daemonListening() {
    // The socket may appear or vanish while we run; look again once a second.
    const std::int64_t now = std::time(nullptr);
    if (now >= nextCheckSecond_.load(std::memory_order_relaxed)) {
        nextCheckSecond_.store(now + 1, std::memory_order_relaxed);
        listening_.store(access(socketPath_.c_str(), W_OK) == 0, std::memory_order_relaxed);
    }
    return listening_.load(std::memory_order_relaxed);
}

void SyslogSink::write(std::string_view line) {
    if (!daemonListening()) {
        return;
    }
    const std::int64_t now = std::time(nullptr);
    const auto length = static_cast<std::uint16_t>(std::min<std::size_t>(line.size(), 0xFFFF));
    std::unique_lock lock(mutex_);
    if (!writer_.joinable()) {
        writer_ = std::thread([this] { run(); });
    }
    queueShrank_.wait(lock, [this] { return queued_.size() < maximumBytes || stopping_; });
    const std::size_t before = queued_.size();
    queued_.append(reinterpret_cast<const char*>(&now), sizeof now);
    queued_.append(reinterpret_cast<const char*>(&length), sizeof length);
    queued_.append(line.data(), length);
    ++linesQueued_;
    if (before < wakeBytes && queued_.size() >= wakeBytes) {
        wakeWriter_.notify_one();
    }
}

void SyslogSink::flush() {
    std::unique_lock lock(mutex_);
    if (!writer_.joinable()) {
        return;
    }
    const std::uint64_t target = linesQueued_;
    wakeWriter_.notify_one();
    queueShrank_.wait(lock, [this, target] { return linesSent_ >= target; });
}

void SyslogSink::run() {
    std::string taken;
    std::unique_lock lock(mutex_);
    for (;;) {
        wakeWriter_.wait_for(lock, std::chrono::milliseconds(20),
                             [this] { return stopping_ || queued_.size() >= wakeBytes; });
        if (queued_.empty()) {
            if (stopping_) {
                return;
            }
            queueShrank_.notify_all(); // flush() may wait for lines already sent
            continue;
        }
        taken.clear();
        taken.swap(queued_);
        const std::uint64_t count = linesQueued_ - linesSent_;
        lock.unlock();
        queueShrank_.notify_all();
        send(taken);
        lock.lock();
        linesSent_ += count;
        queueShrank_.notify_all();
    }
}

bool SyslogSink::connectSocket() {
    if (socket_ >= 0) {
        return true;
    }
    socket_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath_.c_str(), sizeof address.sun_path - 1);
    if (socket_ < 0 ||
        connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (socket_ >= 0) {
            close(socket_);
        }
        socket_ = -1;
        return false;
    }
    return true;
}

void SyslogSink::send(const std::string& entries) {
    const std::string tag = identity_ + "[" + std::to_string(getpid()) + "]: ";
    std::vector<std::string> messages;
    messages.reserve(batchSize);
    std::int64_t stampedSecond = -1;
    char stamp[32] = {};
    std::size_t offset = 0;
    while (offset < entries.size()) {
        messages.clear();
        while (messages.size() < batchSize && offset < entries.size()) {
            std::int64_t second = 0;
            std::uint16_t length = 0;
            std::memcpy(&second, entries.data() + offset, sizeof second);
            std::memcpy(&length, entries.data() + offset + sizeof second, sizeof length);
            offset += sizeof second + sizeof length;
            if (second != stampedSecond) {
                // The header syslog(3) writes: priority, "%h %e %T", identity and pid.
                const std::time_t t = static_cast<std::time_t>(second);
                std::tm local{};
                localtime_r(&t, &local);
                std::snprintf(stamp, 8, "<%d>", userNotice);
                std::strftime(stamp + std::strlen(stamp), sizeof stamp - 8, "%b %e %T ", &local);
                stampedSecond = second;
            }
            std::string& message = messages.emplace_back(stamp);
            message.append(tag).append(entries, offset, length);
            offset += length;
        }
        if (!connectSocket()) {
            continue; // nobody listens any more: these lines are dropped
        }
        std::vector<iovec> parts(messages.size());
        std::vector<mmsghdr> headers(messages.size());
        for (std::size_t i = 0; i < messages.size(); ++i) {
            parts[i] = {messages[i].data(), messages[i].size()};
            headers[i] = {};
            headers[i].msg_hdr.msg_iov = &parts[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
        std::size_t sent = 0;
        while (sent < headers.size()) {
            const int n = sendmmsg(socket_, headers.data() + sent,
                                   static_cast<unsigned>(headers.size() - sent), 0);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                // The daemon went away: connect again for the next batch.
                close(socket_);
                socket_ = -1;
                break;
            }
            sent += static_cast<std::size_t>(n);
        }
    }
}

} // namespace kvlog
