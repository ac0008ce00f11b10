#include "capturefile/CaptureFormat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>

namespace {

constexpr std::uint32_t pcapMagic = 0xA1B2C3D4, pcapNanosecondMagic = 0xA1B23C4D;
constexpr std::uint32_t pcapngByteOrderMagic = 0x1A2B3C4D;

std::uint32_t bigEndianAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

std::uint32_t swapped(std::uint32_t value) {
    return __builtin_bswap32(value);
}

} // namespace

FileFormat formatOfHead(std::span<const std::uint8_t> head) {
    FileFormat found;
    if (head.size() < 12) {
        return found;
    }
    const std::uint32_t magic = bigEndianAt(head, 0);
    for (const bool big : {true, false}) {
        const std::uint32_t inOrder = big ? magic : swapped(magic);
        if (inOrder == pcapMagic || inOrder == pcapNanosecondMagic) {
            found.format =
                inOrder == pcapMagic ? CaptureFormat::Pcap : CaptureFormat::PcapNanoseconds;
            found.bigEndian = big;
            if (head.size() >= 20) {
                const std::uint32_t snapshot = bigEndianAt(head, 16);
                found.snapshotLength = big ? snapshot : swapped(snapshot);
            }
            return found;
        }
    }
    const std::uint32_t order = bigEndianAt(head, 8);
    if (magic == pcapngSectionHeader &&
        (order == pcapngByteOrderMagic || swapped(order) == pcapngByteOrderMagic)) {
        found.format = CaptureFormat::Pcapng;
        found.bigEndian = order == pcapngByteOrderMagic;
    }
    return found;
}

FileFormat captureFormat(const std::string& path) {
    struct stat status {};
    if (path == "-" || ::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return {};
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return {};
    }
    std::array<std::uint8_t, 24> head{};
    std::size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return formatOfHead(std::span(head).first(got));
}

const char* formatText(CaptureFormat format) {
    switch (format) {
    case CaptureFormat::Pcap:
        return "pcap (microseconds)";
    case CaptureFormat::PcapNanoseconds:
        return "pcap (nanoseconds)";
    case CaptureFormat::Pcapng:
        return "pcapng";
    case CaptureFormat::Unknown:
        break;
    }
    return "";
}
