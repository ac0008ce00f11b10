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
    const bool made = run("ip netns add " + captureNs_) && run("ip netns add " + peerNs_) &&
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
                      // Let neighbour discovery settle before the first datagram.
                      run("ip netns exec " + peerNs_ + " ping -c 1 -W 2 " + captureAddress +
                          " > /dev/null 2>&1 || true");
    if (!made && failure_.empty()) {
        failure_ = "could not make the test network namespaces";
    }
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
    return std::async(std::launch::async,
                      [peer = peerNs_, datagrams = std::move(datagrams), gapMs] {
                          if (!enterNamespace(peer)) {
                              return;
                          }
                          const int fd = socket(AF_INET, SOCK_DGRAM, 0);
                          for (const Datagram& datagram : datagrams) {
                              sockaddr_in to{};
                              to.sin_family = AF_INET;
                              to.sin_port = htons(datagram.port);
                              inet_pton(AF_INET, captureAddress, &to.sin_addr);
                              sendto(fd, datagram.payload.data(), datagram.payload.size(), 0,
                                     reinterpret_cast<sockaddr*>(&to), sizeof to);
                              if (gapMs > 0) {
                                  std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
                              }
                          }
                          close(fd);
                      });
}
