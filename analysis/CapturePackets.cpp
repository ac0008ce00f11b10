#include "analysis/CapturePackets.h"

#include "dissect/ByteCursor.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace {

constexpr std::uint32_t pcapMagic = 0xA1B2C3D4, pcapNanosecondMagic = 0xA1B23C4D;
constexpr std::uint32_t pcapngSectionHeader = 0x0A0D0D0A, pcapngByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint32_t enhancedPacketBlock = 6, simplePacketBlock = 3, obsoletePacketBlock = 2;

std::uint32_t swapped(std::uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

// A 32-bit field in the file's byte order.
std::optional<std::uint32_t> field(const ByteCursor& bytes, std::size_t offset, bool littleEndian) {
    const auto value = bytes.be32(offset);
    return value && littleEndian ? std::optional(swapped(*value)) : value;
}

constexpr std::size_t windowBytes = 1 << 20;

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

std::unique_ptr<CapturePackets> CapturePackets::open(const std::string& path, std::string& error,
                                                     std::shared_ptr<const OpenedPackets> opened) {
    auto packets = openFile(path, error);
    if (packets) {
        packets->opened_ = std::move(opened);
    }
    return packets;
}

std::unique_ptr<CapturePackets> CapturePackets::openFile(const std::string& path,
                                                         std::string& error) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::array<std::uint8_t, 12> head{};
    const bool read = readUpTo(descriptor, 0, head) == head.size();
    const ByteCursor bytes(head);
    const std::uint32_t magic = bytes.be32(0).value_or(0);
    if (read && (magic == pcapMagic || magic == pcapNanosecondMagic)) {
        return std::unique_ptr<CapturePackets>(
            new CapturePackets(descriptor, path, Layout::Pcap, false));
    }
    if (read && (swapped(magic) == pcapMagic || swapped(magic) == pcapNanosecondMagic)) {
        return std::unique_ptr<CapturePackets>(
            new CapturePackets(descriptor, path, Layout::Pcap, true));
    }
    const std::uint32_t order = bytes.be32(8).value_or(0);
    if (read && magic == pcapngSectionHeader &&
        (order == pcapngByteOrderMagic || swapped(order) == pcapngByteOrderMagic)) {
        return std::unique_ptr<CapturePackets>(
            new CapturePackets(descriptor, path, Layout::Pcapng, order != pcapngByteOrderMagic));
    }
    ::close(descriptor);
    error = path + ": not a pcap or pcapng capture file";
    return nullptr;
}

CapturePackets::CapturePackets(int descriptor, std::string path, Layout layout, bool littleEndian)
    : descriptor_(descriptor), path_(std::move(path)), layout_(layout),
      littleEndian_(littleEndian) {}

CapturePackets::~CapturePackets() {
    ::close(descriptor_);
}

bool CapturePackets::readAt(std::uint64_t offset, std::span<std::uint8_t> into) {
    if (offset < windowStart_ || offset + into.size() > windowStart_ + window_.size()) {
        window_.resize(std::max(windowBytes, into.size()));
        const std::size_t got = readUpTo(descriptor_, offset, window_);
        window_.resize(got);
        windowStart_ = offset;
        if (got < into.size()) {
            return false;
        }
    }
    std::memcpy(into.data(), window_.data() + (offset - windowStart_), into.size());
    return true;
}

bool CapturePackets::readRecord(std::uint64_t offset, std::uint32_t& capturedLength,
                                std::uint64_t& dataOffset) {
    // Classic pcap:  seconds(4) fraction(4) captured length(4) wire length(4) data
    // pcapng EPB:    type(4) block length(4) interface(4) time(8) captured(4) wire(4) data
    // pcapng SPB:    type(4) block length(4) wire length(4) data
    // obsolete PB:   type(4) block length(4) interface(2) drops(2) time(8) captured(4) wire(4) data
    std::array<std::uint8_t, 28> head{};
    const std::size_t headLength = layout_ == Layout::Pcap ? 16 : 28;
    if (!readAt(offset, std::span(head).first(headLength))) {
        // A simple packet block may be shorter than the longest head.
        if (layout_ != Layout::Pcapng || !readAt(offset, std::span(head).first(12))) {
            return false;
        }
    }
    const ByteCursor bytes(head);
    if (layout_ == Layout::Pcap) {
        capturedLength = field(bytes, 8, littleEndian_).value_or(0);
        dataOffset = offset + 16;
        return true;
    }
    const std::uint32_t type = field(bytes, 0, littleEndian_).value_or(0);
    const std::uint32_t blockLength = field(bytes, 4, littleEndian_).value_or(0);
    if (type == enhancedPacketBlock || type == obsoletePacketBlock) {
        capturedLength = field(bytes, 20, littleEndian_).value_or(0);
        dataOffset = offset + 28;
        return blockLength >= 32 && capturedLength <= blockLength - 32;
    }
    if (type == simplePacketBlock && blockLength >= 16) {
        capturedLength = std::min(field(bytes, 8, littleEndian_).value_or(0), blockLength - 16);
        dataOffset = offset + 12;
        return true;
    }
    return false;
}

bool CapturePackets::readPayload(const analysis::PayloadLocation& location,
                                 std::vector<std::uint8_t>& payload, std::string& error) {
    if (opened_) {
        if (const auto found = opened_->find(location.packetIndex)) {
            return readOpened(location, *found, payload, error);
        }
    }
    return readStored(location, payload, error);
}

bool CapturePackets::readStored(const analysis::PayloadLocation& location,
                                std::vector<std::uint8_t>& payload, std::string& error) {
    payload.clear();
    if (location.fileOffset == FrameFacts::unknownFileOffset) {
        error = "packet " + std::to_string(location.packetIndex + 1) +
                " cannot be read again: its capture came from standard input";
        return false;
    }
    std::uint32_t capturedLength = 0;
    std::uint64_t dataOffset = 0;
    if (!readRecord(location.fileOffset, capturedLength, dataOffset) ||
        capturedLength != location.capturedLength ||
        std::size_t{location.offset} + location.length > capturedLength) {
        error = path_ + ": packet " + std::to_string(location.packetIndex + 1) +
                " is no longer where it was; the file changed since it was loaded";
        return false;
    }
    payload.resize(location.length);
    if (!readAt(dataOffset + location.offset, payload)) {
        error = path_ + ": packet " + std::to_string(location.packetIndex + 1) +
                " could not be read again; the file changed since it was loaded";
        payload.clear();
        return false;
    }
    return true;
}

bool CapturePackets::readOpened(const analysis::PayloadLocation& location,
                                const OpenedPackets::Found& found,
                                std::vector<std::uint8_t>& payload, std::string& error) {
    analysis::PayloadLocation whole = location;
    whole.capturedLength = found.capturedLength;
    whole.offset = 0;
    whole.length =
        static_cast<std::uint16_t>(std::min<std::uint32_t>(found.capturedLength, 0xFFFF));
    if (!readStored(whole, sealed_, error)) {
        return false;
    }
    if (ciphers_.size() > 4096) {
        ciphers_.clear(); // a bound, for captures of very many calls
    }
    auto cipher =
        ciphers_.try_emplace(found.keyIndex, found.key, iaxcrypto::AesCbc::Direction::Decrypt)
            .first;
    std::vector<std::uint8_t>& clear = clear_;
    if (!FrameDecryption::reopen(sealed_, found.linkType, cipher->second, clear) ||
        std::size_t{location.offset} + location.length > clear.size()) {
        error = path_ + ": packet " + std::to_string(location.packetIndex + 1) +
                " no longer opens with the key that opened it; the file changed since it was "
                "loaded";
        return false;
    }
    payload.assign(clear.begin() + location.offset,
                   clear.begin() + location.offset + location.length);
    return true;
}

bool CapturePackets::readHead(const FrameFacts& facts, std::size_t length,
                              std::vector<std::uint8_t>& bytes, std::string& error) {
    analysis::PayloadLocation location;
    location.fileOffset = facts.fileOffset;
    location.packetIndex = facts.packetIndex;
    location.capturedLength = facts.capturedLength;
    location.offset = 0;
    location.length =
        static_cast<std::uint16_t>(std::min<std::size_t>({length, facts.capturedLength, 0xFFFF}));
    return readPayload(location, bytes, error);
}
