#include "capturefile/PacketFileAccess.h"

#include "capturefile/CaptureFormat.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace {

constexpr std::uint32_t enhancedPacketBlock = 6, simplePacketBlock = 3, obsoletePacketBlock = 2;
constexpr std::size_t largestWindow = std::size_t{1} << 20;
constexpr std::size_t smallestWindow = 1024;
// Blocks without packets passed over before one with a packet is given up on.
constexpr int mostSkippedBlocks = 1000;

std::uint32_t swapped(std::uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

// A 32-bit field of `bytes` at `offset`, in the file's byte order.
std::uint32_t field(std::span<const std::uint8_t> bytes, std::size_t offset, bool littleEndian) {
    if (offset + 4 > bytes.size()) {
        return 0;
    }
    const std::uint32_t value = std::uint32_t{bytes[offset]} << 24 |
                                std::uint32_t{bytes[offset + 1]} << 16 |
                                std::uint32_t{bytes[offset + 2]} << 8 | bytes[offset + 3];
    return littleEndian ? swapped(value) : value;
}

// Reads into `into` from `offset` until it is full or the file ends; the
// bytes read.
std::size_t readUpTo(int descriptor, std::uint64_t offset, std::span<std::uint8_t> into) {
    std::size_t done = 0;
    while (done < into.size()) {
        const ssize_t got = ::pread(descriptor, into.data() + done, into.size() - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

} // namespace

std::unique_ptr<PacketFileAccess> PacketFileAccess::open(const std::string& path,
                                                         std::string& error) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::array<std::uint8_t, 24> head{};
    const FileFormat format = formatOfHead(std::span(head).first(readUpTo(descriptor, 0, head)));
    switch (format.format) {
    case CaptureFormat::Pcap:
    case CaptureFormat::PcapNanoseconds:
        return std::unique_ptr<PacketFileAccess>(new PacketFileAccess(
            descriptor, path, Layout::Pcap, !format.bigEndian,
            format.snapshotLength <= maxSnapshotLength ? format.snapshotLength : 0));
    case CaptureFormat::Pcapng:
        return std::unique_ptr<PacketFileAccess>(
            new PacketFileAccess(descriptor, path, Layout::Pcapng, !format.bigEndian, 0));
    case CaptureFormat::Unknown:
        break;
    }
    ::close(descriptor);
    error = path + ": not a pcap or pcapng capture file";
    return nullptr;
}

PacketFileAccess::PacketFileAccess(int descriptor, std::string path, Layout layout,
                                   bool littleEndian, std::uint32_t snapshotLength)
    : descriptor_(descriptor), path_(std::move(path)), layout_(layout), littleEndian_(littleEndian),
      snapshotLength_(snapshotLength) {}

PacketFileAccess::~PacketFileAccess() {
    ::close(descriptor_);
}

bool PacketFileAccess::readAt(std::uint64_t offset, std::span<std::uint8_t> into) {
    if (into.empty()) {
        return true; // an empty packet: nothing to copy, and no buffer to copy to
    }
    if (offset < windowStart_ || offset + into.size() > windowStart_ + window_.size()) {
        if (!window_.empty() && windowServed_ * 4 >= window_.size()) {
            windowSize_ = std::min(windowSize_ * 4, largestWindow);
        } else if (!window_.empty() && windowServed_ * 32 < window_.size()) {
            windowSize_ = std::max(windowSize_ / 4, smallestWindow);
        }
        windowServed_ = 0;
        window_.resize(std::max(windowSize_, into.size()));
        const std::size_t got = readUpTo(descriptor_, offset, window_);
        window_.resize(got);
        windowStart_ = offset;
        if (got < into.size()) {
            return false;
        }
    }
    std::memcpy(into.data(), window_.data() + (offset - windowStart_), into.size());
    windowServed_ += into.size();
    return true;
}

std::optional<PacketFileAccess::Record> PacketFileAccess::recordAt(std::uint64_t offset) {
    if (layout_ == Layout::Pcapng) {
        return pcapngRecordAt(offset);
    }
    // seconds(4) fraction(4) captured length(4) wire length(4) data
    std::array<std::uint8_t, 16> head{};
    if (!readAt(offset, head)) {
        return std::nullopt;
    }
    const std::uint32_t captured = field(head, 8, littleEndian_);
    return Record{snapshotLength_ > 0 ? std::min(captured, snapshotLength_) : captured,
                  offset + 16};
}

std::optional<PacketFileAccess::Record> PacketFileAccess::pcapngRecordAt(std::uint64_t offset) {
    // EPB:          type(4) block length(4) interface(4) time(8) captured(4) wire(4) data
    // SPB:          type(4) block length(4) wire length(4) data
    // obsolete PB:  type(4) block length(4) interface(2) drops(2) time(8) captured(4) wire(4) data
    // Any block:    type(4) block length(4) ... block length(4)
    for (int skipped = 0; skipped <= mostSkippedBlocks; ++skipped) {
        std::array<std::uint8_t, 28> head{};
        // A simple packet block may be shorter than the longest head.
        if (!readAt(offset, head) && !readAt(offset, std::span(head).first(12))) {
            return std::nullopt;
        }
        const std::uint32_t type = field(head, 0, littleEndian_);
        const std::uint32_t blockLength = field(head, 4, littleEndian_);
        if (type == enhancedPacketBlock || type == obsoletePacketBlock) {
            const std::uint32_t captured = field(head, 20, littleEndian_);
            if (blockLength < 32 || captured > blockLength - 32) {
                return std::nullopt;
            }
            return Record{captured, offset + 28};
        }
        if (type == simplePacketBlock) {
            // The block holds the packet cut to the interface's snapshot length.
            if (blockLength < 16) {
                return std::nullopt;
            }
            return Record{std::min(field(head, 8, littleEndian_), blockLength - 16), offset + 12};
        }
        // A new section changes what follows: no packet of this one is after it.
        if (type == pcapngSectionHeader || blockLength < 12 || blockLength % 4 != 0) {
            return std::nullopt;
        }
        offset += blockLength;
    }
    return std::nullopt;
}

bool PacketFileAccess::read(const Record& record, std::size_t from, std::span<std::uint8_t> into) {
    if (from > record.capturedLength || into.size() > record.capturedLength - from) {
        return false;
    }
    return readAt(record.dataOffset + from, into);
}
