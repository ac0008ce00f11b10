// Calls for bench/agent-soak.sh: CALLS concurrent IAX2 calls to HOST:4569,
// each from a UDP port of its own, each a NEW, 20 ms G.711 voice frames for
// SECONDS, and a HANGUP, then a new call on the same port, for DURATION
// seconds in all: CALLS x 50 packets a second. Prints what it sent.
//   soak_sender HOST CALLS SECONDS DURATION
#include "samples/IaxPacketBuilder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

struct Call {
    int socket = -1;
    std::uint16_t number = 1;
    int sent = 0; // voice frames of this call so far
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: soak_sender HOST CALLS SECONDS DURATION\n", stderr);
        return 2;
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(4569);
    if (inet_pton(AF_INET, argv[1], &target.sin_addr) != 1) {
        std::fputs("soak_sender: HOST is not an IPv4 address\n", stderr);
        return 2;
    }
    const int callCount = std::atoi(argv[2]);
    const int framesPerCall = std::atoi(argv[3]) * 50;
    const auto duration = std::chrono::seconds(std::atoi(argv[4]));
    std::vector<Call> calls(static_cast<std::size_t>(callCount));
    for (Call& call : calls) {
        call.socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        ::connect(call.socket, reinterpret_cast<sockaddr*>(&target), sizeof target);
    }
    const std::vector<std::uint8_t> voice(160, 0x55);
    const auto send = [](const Call& call, const std::vector<std::uint8_t>& bytes) {
        return ::send(call.socket, bytes.data(), bytes.size(), 0) > 0;
    };
    unsigned long long packets = 0, failed = 0;
    const auto start = std::chrono::steady_clock::now();
    auto tick = start;
    // A call's frames start at different ticks, so that the 20 ms do not all
    // fall on one.
    for (int step = 0; std::chrono::steady_clock::now() - start < duration; ++step) {
        for (std::size_t i = static_cast<std::size_t>(step % 20); i < calls.size(); i += 20) {
            Call& call = calls[i];
            std::vector<std::uint8_t> bytes;
            const auto timestamp = static_cast<std::uint32_t>(call.sent * 20);
            if (call.sent == 0) {
                bytes =
                    iaxgen::fullFrame({.sourceCall = call.number, .frameType = 6, .subclass = 1});
            } else if (call.sent == framesPerCall) {
                bytes = iaxgen::fullFrame({.sourceCall = call.number,
                                           .timestamp = timestamp,
                                           .outSequence = 2,
                                           .frameType = 6,
                                           .subclass = 5});
            } else if (call.sent == 1) {
                bytes = iaxgen::fullFrame({.sourceCall = call.number,
                                           .timestamp = timestamp,
                                           .outSequence = 1,
                                           .frameType = 2,
                                           .subclass = 4},
                                          voice);
            } else {
                bytes =
                    iaxgen::miniFrame(call.number, static_cast<std::uint16_t>(timestamp), voice);
            }
            (send(call, bytes) ? packets : failed) += 1;
            if (++call.sent > framesPerCall) {
                call.sent = 0;
                call.number = static_cast<std::uint16_t>(call.number % 32000 + 1);
            }
        }
        tick += std::chrono::milliseconds(1);
        std::this_thread::sleep_until(tick);
    }
    std::printf("sent %llu packets (%llu failed) in %.1f s\n", packets, failed,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return 0;
}
