#include "hep/HepSender.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace hep {

struct Sender::Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_INET;
};

namespace {

// At most this many messages a system call.
constexpr std::size_t batchMessages = 256;
// How long a file's feed waits for room in a full queue while nothing is sent.
constexpr auto longestStall = std::chrono::seconds(5);
constexpr auto firstPause = std::chrono::milliseconds(100);
constexpr auto longestPause = std::chrono::milliseconds(5000);

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

std::optional<Target> parseTarget(std::string_view text, std::string& error) {
    Target target;
    if (text.starts_with("udp:")) {
        target.tcp = false;
    } else if (text.starts_with("tcp:")) {
        target.tcp = true;
    } else {
        error = "the HEP target '" + std::string(text) + "' is not udp:HOST:PORT or tcp:HOST:PORT";
        return std::nullopt;
    }
    std::string_view rest = text.substr(4);
    std::string_view host, port;
    if (rest.starts_with('[')) {
        const auto close = rest.find("]:");
        if (close == std::string_view::npos) {
            error =
                "the HEP target '" + std::string(text) + "' has no ]:PORT after its IPv6 address";
            return std::nullopt;
        }
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
    } else {
        const auto colon = rest.rfind(':');
        if (colon == std::string_view::npos) {
            error = "the HEP target '" + std::string(text) + "' has no port";
            return std::nullopt;
        }
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
    }
    unsigned number = 0;
    const auto [end, failed] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (host.empty() || failed != std::errc() || end != port.data() + port.size() || number == 0 ||
        number > 65535) {
        error =
            "the HEP target '" + std::string(text) + "' needs a host and a port from 1 to 65535";
        return std::nullopt;
    }
    target.host = std::string(host);
    target.port = static_cast<std::uint16_t>(number);
    return target;
}

std::unique_ptr<Sender> Sender::start(const Target& target, std::string& error,
                                      std::size_t queueLimit, bool waitForRoom) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = target.tcp ? SOCK_STREAM : SOCK_DGRAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(target.port);
    if (const int failed = getaddrinfo(target.host.c_str(), port.c_str(), &hints, &found)) {
        error = "the HEP collector " + target.host + " cannot be found: " + gai_strerror(failed);
        return nullptr;
    }
    auto address = std::make_unique<Address>();
    std::memcpy(&address->storage, found->ai_addr, found->ai_addrlen);
    address->length = found->ai_addrlen;
    address->family = found->ai_family;
    freeaddrinfo(found);
    std::unique_ptr<Sender> sender(new Sender(target, std::move(address), queueLimit));
    sender->waits_ = waitForRoom;
    return sender;
}

Sender::Sender(const Target& target, std::unique_ptr<Address> address, std::size_t queueLimit)
    : target_(target), address_(std::move(address)),
      queueLimit_(std::max<std::size_t>(1, queueLimit)) {
    thread_ = std::thread([this] { run(); });
}

Sender::~Sender() {
    finish(std::chrono::milliseconds(0));
}

void Sender::add(std::vector<std::uint8_t> message) {
    gathered_.push_back(std::move(message));
    if (gathered_.size() >= 4096) {
        flush();
    }
}

void Sender::flush() {
    if (gathered_.empty()) {
        return;
    }
    {
        std::unique_lock lock(mutex_);
        for (auto& message : gathered_) {
            // A file waits for room while the collector takes what it is sent;
            // a live run never waits.
            while (waits_ && queue_.size() >= queueLimit_ && !stopping_) {
                wake_.notify_one();
                const std::uint64_t before = sent_;
                const bool room = room_.wait_for(
                    lock, longestStall, [&] { return queue_.size() < queueLimit_ || stopping_; });
                if (!room && sent_ == before) {
                    break; // nothing went out for that long: the rest is dropped
                }
            }
            if (queue_.size() < queueLimit_ && !stopping_) {
                queue_.push_back(std::move(message));
            } else {
                ++dropped_;
            }
        }
    }
    gathered_.clear();
    wake_.notify_one();
}

void Sender::finish(std::chrono::milliseconds wait) {
    flush();
    if (!thread_.joinable()) {
        return;
    }
    {
        std::unique_lock lock(mutex_);
        drained_.wait_for(lock, wait, [this] { return queue_.empty() && !busy_; });
        stopping_ = true;
        dropped_ += queue_.size();
        queue_.clear();
    }
    wake_.notify_one();
    thread_.join();
    closeSocket();
}

std::uint64_t Sender::sent() const {
    const std::lock_guard lock(mutex_);
    return sent_;
}

std::uint64_t Sender::dropped() const {
    const std::lock_guard lock(mutex_);
    return dropped_;
}

std::string Sender::lastError() const {
    const std::lock_guard lock(mutex_);
    return lastError_;
}

void Sender::run() {
    auto pause = firstPause;
    std::vector<std::vector<std::uint8_t>> batch;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) {
                return;
            }
            const std::size_t count = std::min(queue_.size(), batchMessages);
            for (std::size_t i = 0; i < count; ++i) {
                batch.push_back(std::move(queue_.front()));
                queue_.pop_front();
            }
            busy_ = true;
        }
        room_.notify_all();
        const bool ok = sendBatch(batch);
        std::unique_lock lock(mutex_);
        busy_ = false;
        if (ok) {
            sent_ += batch.size();
            batch.clear();
            pause = firstPause;
            if (queue_.empty()) {
                drained_.notify_all();
            }
            continue;
        }
        // Back to the front of the queue, to be sent once the collector is
        // back; what no longer fits is dropped.
        for (auto it = batch.rbegin(); it != batch.rend(); ++it) {
            if (queue_.size() < queueLimit_) {
                queue_.push_front(std::move(*it));
            } else {
                ++dropped_;
            }
        }
        batch.clear();
        drained_.notify_all();
        wake_.wait_for(lock, pause, [this] { return stopping_; });
        pause = std::min(pause * 2, longestPause);
    }
}

bool Sender::sendBatch(std::vector<std::vector<std::uint8_t>>& batch) {
    const auto fail = [this](std::string why) {
        const std::lock_guard lock(mutex_);
        lastError_ = std::move(why);
        return false;
    };
    if (!target_.tcp) {
        if (socket_ < 0) {
            socket_ = ::socket(address_->family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (socket_ < 0) {
                return fail(systemError("HEP socket"));
            }
        }
        std::vector<mmsghdr> headers(batch.size());
        std::vector<iovec> pieces(batch.size());
        for (std::size_t i = 0; i < batch.size(); ++i) {
            pieces[i] = {batch[i].data(), batch[i].size()};
            headers[i] = {};
            headers[i].msg_hdr.msg_name = &address_->storage;
            headers[i].msg_hdr.msg_namelen = address_->length;
            headers[i].msg_hdr.msg_iov = &pieces[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
        std::size_t done = 0;
        while (done < headers.size()) {
            const int sent = ::sendmmsg(socket_, headers.data() + done,
                                        static_cast<unsigned>(headers.size() - done), 0);
            if (sent < 0) {
                if (errno == EINTR) {
                    continue;
                }
                // A datagram the collector's port refused is lost, not retried.
                const std::string why = systemError("HEP over UDP");
                batch.erase(batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(done));
                return fail(why);
            }
            done += static_cast<std::size_t>(sent);
        }
        return true;
    }
    if (socket_ < 0 && !connectTcp()) {
        return false;
    }
    // The whole batch in one call where the socket takes it: a system call
    // a message would cost more than the messages.
    std::vector<iovec> pieces(batch.size());
    for (std::size_t i = 0; i < batch.size(); ++i) {
        pieces[i] = {batch[i].data(), batch[i].size()};
    }
    std::size_t whole = 0; // messages written whole
    std::size_t at = 0;    // bytes of batch[whole] written
    while (whole < batch.size()) {
        pieces[whole] = {batch[whole].data() + at, batch[whole].size() - at};
        msghdr message{};
        message.msg_iov = pieces.data() + whole;
        message.msg_iovlen = std::min<std::size_t>(batch.size() - whole, IOV_MAX);
        const ssize_t written = ::sendmsg(socket_, &message, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            const std::string why = systemError("HEP over TCP");
            closeSocket();
            // A message cut in the middle is sent again whole on the next
            // connection: the collector drops the half it had.
            batch.erase(batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(whole));
            {
                const std::lock_guard lock(mutex_);
                sent_ += whole;
            }
            return fail(why);
        }
        auto left = static_cast<std::size_t>(written);
        while (left > 0) {
            const std::size_t rest = batch[whole].size() - at;
            if (left < rest) {
                at += left;
                break;
            }
            left -= rest;
            ++whole;
            at = 0;
        }
    }
    return true;
}

bool Sender::connectTcp() {
    socket_ = ::socket(address_->family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) {
        const std::lock_guard lock(mutex_);
        lastError_ = systemError("HEP socket");
        return false;
    }
    if (::connect(socket_, reinterpret_cast<const sockaddr*>(&address_->storage),
                  address_->length) != 0) {
        const std::string why = "HEP collector " + target_.host + ":" +
                                std::to_string(target_.port) + ": " + std::strerror(errno);
        closeSocket();
        const std::lock_guard lock(mutex_);
        lastError_ = why;
        return false;
    }
    const int on = 1;
    ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

void Sender::closeSocket() {
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

} // namespace hep
