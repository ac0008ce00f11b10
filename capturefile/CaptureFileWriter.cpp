#include "capturefile/CaptureFileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// pcapng's block types and option codes that are written.
constexpr std::uint32_t interfaceBlock = 1, enhancedPacketBlock = 6;
constexpr std::uint16_t endOfOptions = 0, commentOption = 1, timeResolutionOption = 9;

// A pcapng block in this machine's byte order (the section header says
// which): its type, a length filled in by finish(), the body, the length again.
class Block {
public:
    explicit Block(std::uint32_t type) { u32(type).u32(0); }
    Block& u16(std::uint16_t value) { return raw(&value, 2); }
    Block& u32(std::uint32_t value) { return raw(&value, 4); }
    Block& u64(std::uint64_t value) { return raw(&value, 8); }
    Block& bytes(std::span<const std::uint8_t> value) {
        bytes_.insert(bytes_.end(), value.begin(), value.end());
        return *this;
    }
    Block& pad() {
        bytes_.resize((bytes_.size() + 3) / 4 * 4, 0);
        return *this;
    }
    Block& option(std::uint16_t code, std::span<const std::uint8_t> value) {
        return u16(code).u16(static_cast<std::uint16_t>(value.size())).bytes(value).pad();
    }
    std::vector<std::uint8_t>& finish() {
        const auto length = static_cast<std::uint32_t>(bytes_.size() + 4);
        std::memcpy(bytes_.data() + 4, &length, 4);
        u32(length);
        return bytes_;
    }

private:
    Block& raw(const void* value, std::size_t size) {
        const auto* first = static_cast<const std::uint8_t*>(value);
        bytes_.insert(bytes_.end(), first, first + size);
        return *this;
    }
    std::vector<std::uint8_t> bytes_;
};

bool isPcap(CaptureFormat format) {
    return format == CaptureFormat::Pcap || format == CaptureFormat::PcapNanoseconds;
}

} // namespace

CaptureFileWriter::CaptureFileWriter(const std::string& path, Layout layout) : layout_(layout) {
    std::FILE* stream = path == "-" ? stdout : std::fopen(path.c_str(), "wbe");
    if (stream == nullptr) {
        error_ = path + ": " + std::strerror(errno);
        return;
    }
    open(stream);
}

CaptureFileWriter::CaptureFileWriter(const std::string& path, std::uint16_t linkType)
    : CaptureFileWriter(path, Layout{CaptureFormat::Pcap, linkType, maxSnapshotLength}) {}

CaptureFileWriter::CaptureFileWriter(std::FILE* stream, Layout layout) : layout_(layout) {
    if (stream == nullptr) {
        error_ = "no file to write to";
        return;
    }
    open(stream);
}

CaptureFileWriter::~CaptureFileWriter() {
    close();
}

void CaptureFileWriter::open(std::FILE* stream) {
    if (isPcap(layout_.format)) {
        format_.reset(pcap_open_dead_with_tstamp_precision(
            layout_.linkType, static_cast<int>(layout_.snapshotLength),
            layout_.format == CaptureFormat::PcapNanoseconds ? PCAP_TSTAMP_PRECISION_NANO
                                                             : PCAP_TSTAMP_PRECISION_MICRO));
        if (format_) {
            dumper_.reset(pcap_dump_fopen(format_.get(), stream));
        }
        if (!dumper_) {
            error_ =
                format_ ? pcap_geterr(format_.get()) : "the capture library could not start a file";
            std::fclose(stream);
            return;
        }
        stream_ = stream;
        return;
    }
    stream_ = stream;
    Block section(pcapngSectionHeader);
    section.u32(0x1A2B3C4D).u16(1).u16(0).u64(~std::uint64_t{0}); // byte order, 1.0, length unknown
    Block interface(interfaceBlock);
    interface.u16(layout_.linkType).u16(0).u32(layout_.snapshotLength);
    const std::uint8_t nanoseconds = 9; // 10^-9
    interface.option(timeResolutionOption, {&nanoseconds, 1}).u32(endOfOptions);
    if (!writePcapngBlock(section.finish()) || !writePcapngBlock(interface.finish())) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
}

bool CaptureFileWriter::fail(std::string why) {
    if (!failed_) {
        failed_ = true;
        error_ = std::move(why);
    }
    return false;
}

bool CaptureFileWriter::writePcapngBlock(std::vector<std::uint8_t>& block) {
    if (std::fwrite(block.data(), 1, block.size(), stream_) != block.size()) {
        return fail(std::strerror(errno != 0 ? errno : EIO));
    }
    return true;
}

bool CaptureFileWriter::write(const CapturedPacket& packet, std::string_view comment) {
    if (stream_ == nullptr || failed_) {
        return false;
    }
    const auto captured = static_cast<std::uint32_t>(packet.bytes.size());
    const std::uint32_t wire = packet.wireLength != 0 ? packet.wireLength : captured;
    if (dumper_) {
        pcap_pkthdr header{};
        header.ts.tv_sec = static_cast<time_t>(packet.seconds);
        header.ts.tv_usec = static_cast<suseconds_t>(
            layout_.format == CaptureFormat::PcapNanoseconds ? packet.nanoseconds
                                                             : packet.nanoseconds / 1000);
        header.caplen = captured;
        header.len = wire;
        pcap_dump(reinterpret_cast<u_char*>(dumper_.get()), &header, packet.bytes.data());
        return std::ferror(stream_) == 0 || fail(std::strerror(errno != 0 ? errno : EIO));
    }
    Block block(enhancedPacketBlock);
    const std::uint64_t time =
        static_cast<std::uint64_t>(packet.seconds) * 1'000'000'000 + packet.nanoseconds;
    block.u32(0).u32(static_cast<std::uint32_t>(time >> 32)).u32(static_cast<std::uint32_t>(time));
    block.u32(captured).u32(wire).bytes(packet.bytes).pad();
    if (!comment.empty()) {
        block
            .option(commentOption, {reinterpret_cast<const std::uint8_t*>(comment.data()),
                                    std::min<std::size_t>(comment.size(), 0xFFFF)})
            .u32(endOfOptions);
    }
    return writePcapngBlock(block.finish());
}

void CaptureFileWriter::write(std::span<const std::uint8_t> packet, std::int64_t microseconds,
                              std::size_t capturedLength) {
    CapturedPacket record;
    record.bytes = packet.first(std::min(capturedLength, packet.size()));
    record.wireLength = static_cast<std::uint32_t>(packet.size());
    record.seconds = microseconds / 1'000'000;
    record.nanoseconds = static_cast<std::uint32_t>(microseconds % 1'000'000) * 1000;
    write(record);
}

std::int64_t CaptureFileWriter::position() const {
    if (dumper_) {
        return pcap_dump_ftell64(dumper_.get());
    }
    return stream_ != nullptr ? static_cast<std::int64_t>(ftello(stream_)) : -1;
}

bool CaptureFileWriter::flush() {
    if (stream_ == nullptr) {
        return false;
    }
    const bool flushed = dumper_ ? pcap_dump_flush(dumper_.get()) == 0 : std::fflush(stream_) == 0;
    if (!flushed || std::ferror(stream_) != 0) {
        return fail(std::strerror(errno != 0 ? errno : EIO));
    }
    return !failed_;
}

bool CaptureFileWriter::close() {
    if (stream_ == nullptr) {
        return false;
    }
    flush();
    if (dumper_) {
        dumper_.reset(); // closes the stream
    } else if (std::fclose(stream_) != 0) {
        fail(std::strerror(errno));
    }
    format_.reset();
    stream_ = nullptr;
    return !failed_;
}

bool CaptureFileWriter::failed() const {
    return failed_ || (stream_ != nullptr && std::ferror(stream_) != 0);
}
