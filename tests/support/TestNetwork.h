#pragma once

#include <cstdint>
#include <future>
#include <string>
#include <vector>

// Two network namespaces of the test's own joined by a veth pair: the capture
// side, whose end is named "en0", and the peer side that sends. Traffic never
// leaves the two namespaces. (Within one namespace the kernel would route
// between its own addresses over lo, and the veth would see nothing.)
class TestNetwork final {
public:
    static constexpr const char* captureAddress = "10.77.0.1";
    static constexpr const char* peerAddress = "10.77.0.2";
    // The same pair also carries VLAN 42 (the capture side's "en0.42") and IPv6.
    static constexpr const char* vlanCaptureAddress = "10.78.0.1";
    static constexpr const char* vlanPeerAddress = "10.78.0.2";
    static constexpr const char* ipv6CaptureAddress = "fd00:77::1";
    static constexpr const char* ipv6PeerAddress = "fd00:77::2";

    TestNetwork();
    ~TestNetwork();
    TestNetwork(const TestNetwork&) = delete;
    TestNetwork& operator=(const TestNetwork&) = delete;

    // Empty when the network is up; otherwise why it could not be made.
    [[nodiscard]] const std::string& failure() const { return failure_; }
    // Whether VLAN 42 could be made (the kernel may lack 802.1Q).
    [[nodiscard]] bool vlanAvailable() const { return vlanAvailable_; }

    // Moves the calling thread into the capture namespace; threads it starts
    // afterwards (the capture workers) are there too.
    bool enterCaptureSide();
    // Sends each payload as one UDP datagram from the peer side to the
    // capture side's port, `gapMs` apart, on a thread of its own; the future
    // is ready when all are sent.
    struct Datagram {
        std::uint16_t port;
        std::vector<std::uint8_t> payload;
    };
    std::future<void> sendFromPeer(std::vector<Datagram> datagrams, int gapMs = 0);
    // The same to another address of the capture side (IPv4 or IPv6).
    std::future<void> sendFromPeerTo(std::string address, std::vector<Datagram> datagrams,
                                     int gapMs = 0);

private:
    bool run(const std::string& command);
    std::string captureNs_;
    std::string peerNs_;
    std::string failure_;
    bool vlanAvailable_ = false;
};
