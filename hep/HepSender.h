#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Sends HEP messages to a collector over UDP or TCP on a thread of its own,
// so that a slow or absent collector never holds up the capture: messages
// wait in a bounded queue, are sent in batches (sendmmsg over UDP), and over
// TCP the connection is made again with a growing pause when it fails. What
// could not be sent (the queue was full, or the collector was away at the
// end) is counted, never waited for.
namespace hep {

struct Target {
    bool tcp = false;
    std::string host; // a name, an IPv4 address, or an IPv6 one (given in brackets)
    std::uint16_t port = 0;
};
// "udp:HOST:PORT" or "tcp:HOST:PORT" ("udp:[::1]:9060"); nothing, with
// `error` saying why, where the text is none of these.
[[nodiscard]] std::optional<Target> parseTarget(std::string_view text, std::string& error);

class Sender final {
public:
    // Resolves the target and starts the sending thread; nothing, with
    // `error`, where the host has no address. `queueLimit` bounds the
    // messages waiting.
    // `waitForRoom`: a full queue holds up flush() (a file, sent as fast as
    // the collector takes it) for as long as messages go out, rather than
    // dropping (a live run, which must never wait).
    static std::unique_ptr<Sender> start(const Target& target, std::string& error,
                                         std::size_t queueLimit = 65536, bool waitForRoom = false);
    ~Sender();
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    // Adds a message to the block being gathered; nothing is handed to the
    // thread until flush(), where a message finding the queue full is
    // counted as dropped (or waits for room: see start()).
    void add(std::vector<std::uint8_t> message);
    // Hands the gathered block to the thread: one wake-up a block.
    void flush();
    // Flushes, waits up to `wait` for the queue to be sent, then stops the
    // thread; what is left is counted as dropped.
    void finish(std::chrono::milliseconds wait);

    [[nodiscard]] std::uint64_t sent() const;
    [[nodiscard]] std::uint64_t dropped() const;
    // Why the last send or connection failed; empty where none did.
    [[nodiscard]] std::string lastError() const;

private:
    struct Address;
    Sender(const Target& target, std::unique_ptr<Address> address, std::size_t queueLimit);
    void run();
    // Sends the front of the queue (the lock not held); false on a failure.
    bool sendBatch(std::vector<std::vector<std::uint8_t>>& batch);
    bool connectTcp();
    void closeSocket();

    Target target_;
    std::unique_ptr<Address> address_;
    std::size_t queueLimit_;
    std::vector<std::vector<std::uint8_t>> gathered_; // the caller's thread only
    mutable std::mutex mutex_;
    std::condition_variable wake_, drained_, room_;
    bool waits_ = false;
    std::deque<std::vector<std::uint8_t>> queue_;
    bool stopping_ = false;
    bool busy_ = false; // a batch is out of the queue, being sent
    std::uint64_t sent_ = 0, dropped_ = 0;
    std::string lastError_;
    int socket_ = -1; // the thread's
    std::thread thread_;
};

} // namespace hep
