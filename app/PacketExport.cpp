#include "app/PacketExport.h"

#include "capture/PcapHandles.h"
#include "common/NewFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <span>
#include <unordered_set>

namespace {

// The file's own time precision, so that pcap packets are written as they were.
int precisionOf(const std::string& path) {
    std::uint8_t magic[4] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool read = fd >= 0 && ::read(fd, magic, sizeof magic) == 4;
    if (fd >= 0) {
        ::close(fd);
    }
    const bool nano =
        read && ((magic[0] == 0x4D && magic[1] == 0x3C && magic[2] == 0xB2 && magic[3] == 0xA1) ||
                 (magic[0] == 0xA1 && magic[1] == 0xB2 && magic[2] == 0x3C && magic[3] == 0x4D));
    return nano ? PCAP_TSTAMP_PRECISION_NANO : PCAP_TSTAMP_PRECISION_MICRO;
}

// pcapng blocks in this machine's byte order (the section header says which).
class PcapngBlocks {
public:
    explicit PcapngBlocks(NewFile& file) : file_(file) {}

    bool section() {
        Block block(0x0A0D0D0A);
        block.u32(0x1A2B3C4D).u16(1).u16(0).u64(~std::uint64_t{0});
        return write(block);
    }
    bool interface(int linkType, std::uint32_t snapLength) {
        Block block(1);
        block.u16(static_cast<std::uint16_t>(linkType)).u16(0).u32(snapLength);
        const std::uint8_t nanoseconds = 9;        // if_tsresol: 10^-9
        block.option(9, {&nanoseconds, 1}).u32(0); // and opt_endofopt
        return write(block);
    }
    bool packet(const pcap_pkthdr& header, const u_char* data, const std::string* comment) {
        Block block(6);
        const std::uint64_t time = static_cast<std::uint64_t>(header.ts.tv_sec) * 1'000'000'000 +
                                   static_cast<std::uint64_t>(header.ts.tv_usec);
        block.u32(0)
            .u32(static_cast<std::uint32_t>(time >> 32))
            .u32(static_cast<std::uint32_t>(time));
        block.u32(header.caplen).u32(header.len).bytes({data, header.caplen}).pad();
        if (comment != nullptr && !comment->empty()) {
            block
                .option(1, {reinterpret_cast<const std::uint8_t*>(comment->data()),
                            std::min<std::size_t>(comment->size(), 0xFFFF)})
                .u32(0);
        }
        return write(block);
    }

private:
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
        // The length at both ends, now that it is known.
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

    bool write(Block& block) { return file_.write(block.finish()); }

    NewFile& file_;
};

bool writePcap(pcap_t* input, NewFile& file, const std::unordered_set<std::uint32_t>& wanted,
               const std::string& destination, std::string& error) {
    // libpcap writes through a stream of its own on a copy of the descriptor.
    const int streamFd = ::dup(file.descriptor());
    std::FILE* stream = streamFd >= 0 ? fdopen(streamFd, "wb") : nullptr;
    if (stream == nullptr) {
        error = destination + ": " + std::strerror(errno);
        if (streamFd >= 0) {
            ::close(streamFd);
        }
        return false;
    }
    PcapDumper output(pcap_dump_fopen(input, stream));
    if (!output) {
        error = pcap_geterr(input);
        std::fclose(stream);
        return false;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    for (std::uint32_t number = 1; pcap_next_ex(input, &header, &data) == 1; ++number) {
        if (wanted.contains(number)) {
            pcap_dump(reinterpret_cast<u_char*>(output.get()), header, data);
        }
    }
    if (pcap_dump_flush(output.get()) != 0 || std::ferror(pcap_dump_file(output.get())) != 0) {
        error = destination + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool writePcapng(pcap_t* input, NewFile& file, const std::unordered_set<std::uint32_t>& wanted,
                 const std::map<std::uint32_t, std::string>& comments) {
    PcapngBlocks blocks(file);
    if (!blocks.section() ||
        !blocks.interface(pcap_datalink(input), static_cast<std::uint32_t>(pcap_snapshot(input)))) {
        return false;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    for (std::uint32_t number = 1; pcap_next_ex(input, &header, &data) == 1; ++number) {
        if (!wanted.contains(number)) {
            continue;
        }
        const auto comment = comments.find(number);
        if (!blocks.packet(*header, data, comment != comments.end() ? &comment->second : nullptr)) {
            return false;
        }
    }
    return true;
}

} // namespace

ExportFormat exportFormatOf(const std::string& path) {
    return path.size() >= 7 && path.compare(path.size() - 7, 7, ".pcapng") == 0
               ? ExportFormat::Pcapng
               : ExportFormat::Pcap;
}

bool writePackets(const std::string& capturePath, const std::vector<std::uint32_t>& packetNumbers,
                  const std::string& destination, ExportFormat format, std::string& error,
                  const std::map<std::uint32_t, std::string>& comments) {
    if (capturePath == "-") {
        // libpcap would read what is left of standard input as a new file.
        error = "the packets cannot be read again: the capture came from standard input";
        return false;
    }
    char errorText[PCAP_ERRBUF_SIZE] = {};
    const PcapHandle input(pcap_open_offline_with_tstamp_precision(
        capturePath.c_str(),
        format == ExportFormat::Pcapng ? PCAP_TSTAMP_PRECISION_NANO : precisionOf(capturePath),
        errorText));
    if (!input) {
        error = errorText;
        return false;
    }
    NewFile file(destination);
    if (!file.ok()) {
        error = file.error();
        return false;
    }
    const std::unordered_set<std::uint32_t> wanted(packetNumbers.begin(), packetNumbers.end());
    const bool written = format == ExportFormat::Pcap
                             ? writePcap(input.get(), file, wanted, destination, error)
                             : writePcapng(input.get(), file, wanted, comments);
    if (!written) {
        if (error.empty()) {
            error = file.error();
        }
        return false;
    }
    if (!file.commit()) {
        error = file.error();
        return false;
    }
    return true;
}
