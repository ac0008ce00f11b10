#include "app/PacketExport.h"

#include "capturefile/PacketDump.h"
#include "capturefile/PacketFileReader.h"
#include "common/NewFile.h"

#include <algorithm>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

namespace {

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
    bool packet(const CapturedPacket& packet, const std::string* comment) {
        Block block(6);
        const std::uint64_t time =
            static_cast<std::uint64_t>(packet.seconds) * 1'000'000'000 + packet.nanoseconds;
        block.u32(0)
            .u32(static_cast<std::uint32_t>(time >> 32))
            .u32(static_cast<std::uint32_t>(time));
        const auto captured = static_cast<std::uint32_t>(packet.bytes.size());
        block.u32(captured).u32(packet.wireLength).bytes(packet.bytes).pad();
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

// Calls `write` with each packet `wanted` numbers (from 1, rising, once
// each); false, with `error` set, where a packet could not be read or
// written.
template <class Write>
bool copyWanted(PacketFileReader& input, const std::vector<std::uint32_t>& wanted,
                std::string& error, Write write) {
    CapturedPacket packet;
    std::uint32_t number = 1;
    // Nothing is wanted past the last: a call early in a long file ends the read there.
    const std::uint32_t last = wanted.empty() ? 0 : wanted.back();
    auto next = wanted.begin();
    for (auto read = input.next(packet); read != PacketFileReader::Read::End && number <= last;
         read = input.next(packet), ++number) {
        if (read == PacketFileReader::Read::Failed) {
            // Exporting less than was asked for must not look complete.
            error = "packet " + std::to_string(number) + " could not be read: " + input.errorText();
            return false;
        }
        while (next != wanted.end() && *next < number) {
            ++next; // a number no packet has (0)
        }
        if (next != wanted.end() && *next == number) {
            if (!write(packet, number)) {
                return false;
            }
            ++next;
        }
    }
    return true;
}

// In the file's own time precision, so that packets are written as they were.
bool writePcap(PacketFileReader& input, NewFile& file, const std::vector<std::uint32_t>& wanted,
               const std::string& destination, std::string& error) {
    const bool nanoseconds = input.resolution() == TimeResolution::Nanoseconds;
    const PcapHandle format(pcap_open_dead_with_tstamp_precision(
        input.linkType(), static_cast<int>(input.snapshotLength()),
        nanoseconds ? PCAP_TSTAMP_PRECISION_NANO : PCAP_TSTAMP_PRECISION_MICRO));
    // libpcap writes through a stream of its own on a copy of the descriptor.
    const int streamFd = ::dup(file.descriptor());
    std::FILE* stream = streamFd >= 0 ? fdopen(streamFd, "wb") : nullptr;
    if (!format || stream == nullptr) {
        error = destination + ": " + std::strerror(errno);
        if (stream != nullptr) {
            std::fclose(stream);
        } else if (streamFd >= 0) {
            ::close(streamFd);
        }
        return false;
    }
    PcapDumper output(pcap_dump_fopen(format.get(), stream));
    if (!output) {
        error = pcap_geterr(format.get());
        std::fclose(stream);
        return false;
    }
    const bool copied =
        copyWanted(input, wanted, error, [&](const CapturedPacket& packet, std::uint32_t) {
            dumpPacket(output.get(), packet, nanoseconds);
            return true;
        });
    if (pcap_dump_flush(output.get()) != 0 || std::ferror(pcap_dump_file(output.get())) != 0) {
        error = destination + ": " + std::strerror(errno);
        return false;
    }
    return copied;
}

bool writePcapng(PacketFileReader& input, NewFile& file, const std::vector<std::uint32_t>& wanted,
                 const std::map<std::uint32_t, std::string>& comments, std::string& error) {
    PcapngBlocks blocks(file);
    if (!blocks.section() || !blocks.interface(input.linkType(), input.snapshotLength())) {
        return false;
    }
    return copyWanted(
        input, wanted, error, [&](const CapturedPacket& packet, std::uint32_t number) {
            const auto comment = comments.find(number);
            return blocks.packet(packet, comment != comments.end() ? &comment->second : nullptr);
        });
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
    // libpcap would read what is left of standard input or a pipe as a new file.
    if (const std::string why = whyNotReadAgain(capturePath); !why.empty()) {
        error = "the packets cannot be read again: " + why;
        return false;
    }
    const auto input = PacketFileReader::open(capturePath, error);
    if (!input) {
        return false;
    }
    NewFile file(destination);
    if (!file.ok()) {
        error = file.error();
        return false;
    }
    // Rising and once each, as the file is read: a set of them took
    // gigabytes and seconds to make at tens of millions of packets.
    std::vector<std::uint32_t> inOrder;
    if (std::adjacent_find(packetNumbers.begin(), packetNumbers.end(), std::greater_equal<>()) !=
        packetNumbers.end()) {
        inOrder = packetNumbers;
        std::sort(inOrder.begin(), inOrder.end());
        inOrder.erase(std::unique(inOrder.begin(), inOrder.end()), inOrder.end());
    }
    const std::vector<std::uint32_t>& wanted = inOrder.empty() ? packetNumbers : inOrder;
    const bool written = format == ExportFormat::Pcap
                             ? writePcap(*input, file, wanted, destination, error)
                             : writePcapng(*input, file, wanted, comments, error);
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
