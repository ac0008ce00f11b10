#include "tests/support/TestNetwork.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

bool enterNamespace(const std::string& name) {
    const int fd = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool entered = setns(fd, CLONE_NEWNET) == 0;
    close(fd);
    return entered;
}

} // namespace

TestNetwork::TestNetwork() {
    if (geteuid() != 0) {
        failure_ = "needs root to make network namespaces (CI runs as root)";
        return;
    }
    if (std::system("ip -V > /dev/null 2>&1") != 0) {
        failure_ = "needs the ip command (apt-get install iproute2)";
        return;
    }
    const std::string id = std::to_string(getpid());
    captureNs_ = "qvxcap" + id;
    peerNs_ = "qvxpeer" + id;
    const std::string a = "qvxa" + id;
    const std::string b = "qvxb" + id;
    const bool made =
        run("ip netns add " + captureNs_) && run("ip netns add " + peerNs_) &&
        run("ip link add " + a + " type veth peer name " + b) &&
        run("ip link set " + a + " netns " + captureNs_) &&
        run("ip link set " + b + " netns " + peerNs_) &&
        run("ip -n " + captureNs_ + " link set " + a + " name en0") &&
        run("ip -n " + captureNs_ + " addr add " + captureAddress + "/24 dev en0") &&
        run("ip -n " + peerNs_ + " addr add " + peerAddress + "/24 dev " + b) &&
        run("ip -n " + captureNs_ + " link set en0 up") &&
        run("ip -n " + peerNs_ + " link set " + b + " up") &&
        run("ip -n " + captureNs_ + " link set lo up") &&
        run("ip -n " + peerNs_ + " link set lo up") &&
        // IPv6 on the pair.
        run("ip -n " + captureNs_ + " -6 addr add " + ipv6CaptureAddress + "/64 dev en0 nodad") &&
        run("ip -n " + peerNs_ + " -6 addr add " + ipv6PeerAddress + "/64 dev " + b + " nodad") &&
        // Let neighbour discovery settle before the first datagram.
        run("ip netns exec " + peerNs_ + " ping -c 1 -W 2 " + captureAddress +
            " > /dev/null 2>&1 || true") &&
        run("ip netns exec " + peerNs_ + " ping -6 -c 1 -W 2 " + ipv6CaptureAddress +
            " > /dev/null 2>&1 || true");
    if (!made && failure_.empty()) {
        failure_ = "could not make the test network namespaces";
    }
    // VLAN 42 over the pair, where the kernel has 802.1Q (some VMs do not).
    const std::string quiet = " > /dev/null 2>&1";
    vlanAvailable_ =
        made &&
        std::system(
            ("ip -n " + captureNs_ + " link add link en0 name en0.42 type vlan id 42" + quiet)
                .c_str()) == 0 &&
        std::system(("ip -n " + peerNs_ + " link add link " + b + " name " + b +
                     ".42 type vlan id 42" + quiet)
                        .c_str()) == 0 &&
        std::system(("ip -n " + captureNs_ + " addr add " + vlanCaptureAddress +
                     "/24 dev en0.42 && ip -n " + captureNs_ + " link set en0.42 up")
                        .c_str()) == 0 &&
        std::system(("ip -n " + peerNs_ + " addr add " + vlanPeerAddress + "/24 dev " + b +
                     ".42 && ip -n " + peerNs_ + " link set " + b + ".42 up && ip netns exec " +
                     peerNs_ + " ping -c 1 -W 2 " + vlanCaptureAddress + quiet + " || true")
                        .c_str()) == 0;
}

TestNetwork::~TestNetwork() {
    if (!captureNs_.empty()) {
        run("ip netns del " + captureNs_ + " 2> /dev/null || true");
        run("ip netns del " + peerNs_ + " 2> /dev/null || true");
    }
}

bool TestNetwork::run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        failure_ = "failed: " + command;
        return false;
    }
    return true;
}

bool TestNetwork::enterCaptureSide() {
    return enterNamespace(captureNs_);
}

std::future<void> TestNetwork::sendFromPeer(std::vector<Datagram> datagrams, int gapMs) {
    return sendFromPeerTo(captureAddress, std::move(datagrams), gapMs);
}

std::future<void> TestNetwork::sendFromPeerTo(std::string address, std::vector<Datagram> datagrams,
                                              int gapMs) {
    return std::async(std::launch::async, [peer = peerNs_, address = std::move(address),
                                           datagrams = std::move(datagrams), gapMs] {
        if (!enterNamespace(peer)) {
            return;
        }
        const bool ipv6 = address.find(':') != std::string::npos;
        const int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
        for (const Datagram& datagram : datagrams) {
            sockaddr_storage to{};
            socklen_t length = 0;
            if (ipv6) {
                auto* v6 = reinterpret_cast<sockaddr_in6*>(&to);
                v6->sin6_family = AF_INET6;
                v6->sin6_port = htons(datagram.port);
                inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr);
                length = sizeof *v6;
            } else {
                auto* v4 = reinterpret_cast<sockaddr_in*>(&to);
                v4->sin_family = AF_INET;
                v4->sin_port = htons(datagram.port);
                inet_pton(AF_INET, address.c_str(), &v4->sin_addr);
                length = sizeof *v4;
            }
            sendto(fd, datagram.payload.data(), datagram.payload.size(), 0,
                   reinterpret_cast<sockaddr*>(&to), length);
            if (gapMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
            }
        }
        close(fd);
    });
}
