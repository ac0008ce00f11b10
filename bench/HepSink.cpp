// A HEP collector that only counts: what bench/hep-feed.sh sends to. UDP
// (recvmmsg, a 64 MiB buffer) or TCP (messages cut by the length in their
// header). Ends after QUIET seconds without a message and prints
// "received N messages, B bytes".
//   hep_sink udp|tcp PORT [QUIET]
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int listenOn(int type, int port) {
    const int fd = socket(AF_INET, type, 0);
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const int room = 64 << 20;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &room, sizeof room) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (type == SOCK_STREAM && listen(fd, 4) != 0)) {
        std::perror("hep_sink");
        std::exit(1);
    }
    return fd;
}

bool ready(int fd, int quietMs) {
    pollfd wait{fd, POLLIN, 0};
    return poll(&wait, 1, quietMs) == 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: hep_sink udp|tcp PORT [QUIET_SECONDS]\n", stderr);
        return 2;
    }
    const bool tcp = std::strcmp(argv[1], "tcp") == 0;
    const int quietMs = (argc > 3 ? std::atoi(argv[3]) : 3) * 1000;
    const int fd = listenOn(tcp ? SOCK_STREAM : SOCK_DGRAM, std::atoi(argv[2]));
    std::puts("listening");
    std::fflush(stdout);
    unsigned long long messages = 0, bytes = 0;
    if (!tcp) {
        constexpr int batch = 64;
        std::vector<char> buffer(batch * 2048);
        std::vector<mmsghdr> headers(batch);
        std::vector<iovec> parts(batch);
        for (int i = 0; i < batch; ++i) {
            parts[i] = {buffer.data() + i * 2048, 2048};
            headers[i].msg_hdr.msg_iov = &parts[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
        // Waits up to a minute for the first; then QUIET ends it.
        while (messages == 0 ? ready(fd, 60000) : ready(fd, quietMs)) {
            const int got = recvmmsg(fd, headers.data(), batch, MSG_DONTWAIT, nullptr);
            for (int i = 0; i < got; ++i) {
                bytes += headers[i].msg_len;
            }
            messages += got > 0 ? static_cast<unsigned>(got) : 0;
        }
    } else {
        const int connection = accept(fd, nullptr, nullptr);
        std::vector<unsigned char> stream;
        std::vector<unsigned char> chunk(1 << 20);
        std::size_t at = 0;
        while (ready(connection, quietMs)) {
            const ssize_t got = read(connection, chunk.data(), chunk.size());
            if (got <= 0) {
                break;
            }
            stream.insert(stream.end(), chunk.begin(), chunk.begin() + got);
            // HEP3, then the whole message's length, big-endian.
            while (stream.size() - at >= 6) {
                const std::size_t length = (stream[at + 4] << 8) | stream[at + 5];
                if (length < 6 || stream.size() - at < length) {
                    break;
                }
                ++messages;
                bytes += length;
                at += length;
            }
            stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(at));
            at = 0;
        }
    }
    std::printf("received %llu messages, %llu bytes\n", messages, bytes);
    return 0;
}
