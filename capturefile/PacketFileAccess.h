#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// A capture file's packets read again at the byte offsets their records were
// found at (PacketFileReader gives them), so that what a packet holds need
// not be kept in memory for the whole capture. Reads classic pcap (either
// byte order, micro- or nanoseconds) and pcapng, without libpcap: its reads
// are sequential only.
class PacketFileAccess final {
public:
    // Nothing, with `error` saying why, where the file cannot be opened or
    // is not a capture file.
    static std::unique_ptr<PacketFileAccess> open(const std::string& path, std::string& error);
    ~PacketFileAccess();
    PacketFileAccess(const PacketFileAccess&) = delete;
    PacketFileAccess& operator=(const PacketFileAccess&) = delete;

    // The packet whose record starts at a file offset.
    struct Record {
        std::uint32_t capturedLength = 0;
        std::uint64_t dataOffset = 0; // where its captured bytes start in the file
    };
    // Its captured bytes are cut to the file's snapshot length, as the
    // reader cuts them. In pcapng, blocks that hold no packet (statistics,
    // names, a block of a kind no reader knows) before it are passed over:
    // the reader's offset may be theirs. Nothing where no packet record
    // starts at `offset` or after such blocks.
    std::optional<Record> recordAt(std::uint64_t offset);
    // The record's captured bytes from `from` on, as many as `into` holds.
    // False where they are not all in the record or in the file.
    bool read(const Record& record, std::size_t from, std::span<std::uint8_t> into);

    [[nodiscard]] const std::string& path() const { return path_; }

private:
    enum class Layout { Pcap, Pcapng };
    PacketFileAccess(int descriptor, std::string path, Layout layout, bool littleEndian,
                     std::uint32_t snapshotLength);
    std::optional<Record> pcapngRecordAt(std::uint64_t offset);
    // `into.size()` bytes of the file at `offset`, through a window read
    // ahead: the packets asked for lie mostly in file order. The window
    // grows while most of what it held was asked for, and shrinks while
    // little was: one call's payloads fill megabytes in a row, those of
    // calls listened to apart from the rest lie kilobytes apart, and a
    // megabyte read for each of them copied the whole file again and again.
    bool readAt(std::uint64_t offset, std::span<std::uint8_t> into);

    int descriptor_;
    std::vector<std::uint8_t> window_;
    std::uint64_t windowStart_ = 0;
    std::size_t windowSize_ = 64 * 1024; // of the next window read
    std::size_t windowServed_ = 0;       // bytes asked of the window now held
    std::string path_;
    Layout layout_;
    bool littleEndian_;
    std::uint32_t snapshotLength_; // 0: none known
};
