#include "hep/HepMessage.h"
#include "hep/HepSender.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace {

// A socket on a free loopback port; `listening` for TCP.
struct Loopback {
    int fd = -1;
    std::uint16_t port = 0;
    Loopback(int type, bool listening, std::uint16_t wanted = 0) {
        fd = ::socket(AF_INET, type, 0);
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        // Room for every datagram of a test: a kernel counts each at several
        // times its size.
        const int room = 4 << 20;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(wanted);
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        if (listening) {
            ::listen(fd, 1);
        }
    }
    ~Loopback() { ::close(fd); }
};

std::vector<std::uint8_t> message(std::uint32_t number) {
    hep::Message m;
    m.captureId = number;
    m.correlationId = "call-" + std::to_string(number);
    m.payload.assign(40 + number % 7, static_cast<std::uint8_t>(number));
    std::vector<std::uint8_t> bytes;
    hep::encode(m, bytes);
    return bytes;
}

std::unique_ptr<hep::Sender> sender(const std::string& target, std::size_t limit = 65536,
                                    bool waitForRoom = false) {
    std::string error;
    const auto parsed = hep::parseTarget(target, error);
    EXPECT_TRUE(parsed) << error;
    auto made = parsed ? hep::Sender::start(*parsed, error, limit, waitForRoom) : nullptr;
    EXPECT_TRUE(made) << error;
    return made;
}

} // namespace

TEST(HepSender, TargetsAreReadOrRefusedWithTheReason) {
    const struct {
        const char* text;
        bool ok;
        bool tcp;
        const char* host;
        std::uint16_t port;
    } cases[] = {
        {"udp:127.0.0.1:9060", true, false, "127.0.0.1", 9060},
        {"tcp:homer.example:9061", true, true, "homer.example", 9061},
        {"udp:[::1]:9060", true, false, "::1", 9060},
        {"http:127.0.0.1:9060", false, false, "", 0},
        {"udp:127.0.0.1", false, false, "", 0},
        {"udp::9060", false, false, "", 0},
        {"udp:127.0.0.1:0", false, false, "", 0},
        {"udp:127.0.0.1:70000", false, false, "", 0},
        {"udp:[::1:9060", false, false, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto target = hep::parseTarget(c.text, error);
        ASSERT_EQ(target.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(target->tcp, c.tcp);
            EXPECT_EQ(target->host, c.host);
            EXPECT_EQ(target->port, c.port);
        } else {
            EXPECT_NE(error.find(c.text), std::string::npos) << error;
        }
    }
}

// Over UDP every message arrives as one datagram, in order; a file's feed
// waits for room in its small queue rather than dropping.
TEST(HepSender, UdpSendsEveryMessageAsADatagram) {
    Loopback collector(SOCK_DGRAM, false);
    auto send = sender("udp:127.0.0.1:" + std::to_string(collector.port), 4, true);
    constexpr std::uint32_t count = 200;
    for (std::uint32_t i = 0; i < count; ++i) {
        send->add(message(i));
    }
    send->finish(std::chrono::seconds(5));
    EXPECT_EQ(send->sent(), count);
    EXPECT_EQ(send->dropped(), 0u);
    std::uint8_t buffer[65536];
    for (std::uint32_t i = 0; i < count; ++i) {
        pollfd ready{collector.fd, POLLIN, 0};
        ASSERT_EQ(::poll(&ready, 1, 2000), 1) << i;
        const auto got = ::recv(collector.fd, buffer, sizeof buffer, 0);
        EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + got), message(i));
    }
}

// Over TCP a collector that comes up late gets everything that waited, once
// the sender has tried again; a full queue drops, and counts, the rest.
TEST(HepSender, TcpWaitsForTheCollectorAndCountsWhatDidNotFit) {
    std::uint16_t port = 0;
    {
        Loopback probe(SOCK_STREAM, false); // a port nothing listens on, yet
        port = probe.port;
    }
    auto send = sender("tcp:127.0.0.1:" + std::to_string(port), 8);
    for (std::uint32_t i = 0; i < 12; ++i) {
        send->add(message(i));
    }
    send->flush();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_NE(send->lastError().find("127.0.0.1"), std::string::npos) << send->lastError();
    Loopback collector(SOCK_STREAM, true, port);
    send->finish(std::chrono::seconds(10));
    EXPECT_EQ(send->sent(), 8u);
    EXPECT_EQ(send->dropped(), 4u);
    const int peer = ::accept(collector.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    std::vector<std::uint8_t> stream;
    std::uint8_t buffer[4096];
    for (ssize_t got; (got = ::recv(peer, buffer, sizeof buffer, 0)) > 0;) {
        stream.insert(stream.end(), buffer, buffer + got);
    }
    ::close(peer);
    std::span<const std::uint8_t> rest(stream);
    for (std::uint32_t i = 0; i < 8; ++i) {
        const hep::Read read = hep::decode(rest);
        ASSERT_EQ(read.error, hep::ReadError::None) << i;
        EXPECT_EQ(read.message.captureId, i);
        rest = rest.subspan(read.length);
    }
    EXPECT_TRUE(rest.empty());
}
