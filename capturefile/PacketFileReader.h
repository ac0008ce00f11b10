#pragma once

#include "capturefile/ClassicRecords.h"
#include "capturefile/PcapHandles.h"
#include "record/CapturedPacket.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>

// Why the packets of `path` cannot be read a second time: standard input
// ("-"), a pipe or a device gave its bytes to the first read. Empty for a
// regular file (and for a path that names nothing, whose open then fails).
[[nodiscard]] std::string whyNotReadAgain(const std::string& path);

// The packets of a capture file (pcap or pcapng; "-" is standard input), or
// of a pcap stream, in order, with their capture times in nanoseconds and the
// byte offset of each packet's record in the file.
class PacketFileReader final {
public:
    // Nothing, with the library's error text in `error`, where the file
    // cannot be opened or is not a capture file.
    static std::unique_ptr<PacketFileReader> open(const std::string& path, std::string& error);
    // A pcap stream read as it arrives (a pipe); it is closed with the
    // reader, once the reader exists. Its packets have no file offsets.
    static std::unique_ptr<PacketFileReader> openStream(std::FILE* stream, std::string& error);

    enum class Read { Packet, End, Failed };
    // The packet's bytes stay valid until the next call.
    Read next(CapturedPacket& packet);
    // The library's text for a failed read.
    [[nodiscard]] std::string errorText() const;

    // Each packet with its number in the file (from 1); it returns false to
    // stop the reading there.
    using Visit = std::function<bool(const CapturedPacket& packet, std::uint32_t number)>;
    // Visits the packets `wanted` lists (ascending; a number given twice or
    // that no packet has, such as 0, is passed over) and reads nothing past
    // the last. False, with `error` saying why, where a packet cannot be read
    // or the file ends before the last one wanted.
    bool visit(std::span<const std::uint32_t> wanted, const Visit& visit, std::string& error);
    // Visits every packet, from where the reading is; false, with `error`
    // set, where one cannot be read.
    bool visitAll(const Visit& visit, std::string& error);

    [[nodiscard]] std::uint16_t linkType() const { return linkType_; }
    [[nodiscard]] std::uint32_t snapshotLength() const;
    // The file's own time precision: how its packets would be written again.
    [[nodiscard]] TimeResolution resolution() const { return resolution_; }

private:
    PacketFileReader(PcapHandle handle, TimeResolution resolution, bool knowsOffsets);
    // Reads a classic pcap file's records past the library, where it would
    // hand them over as they are.
    void readClassicRecordsDirectly(bool bigEndian);

    static constexpr std::size_t streamBufferSize = 1 << 18;
    // The file stream's buffer; it outlives the handle, which closes the stream.
    std::unique_ptr<char[]> streamBuffer_;
    PcapHandle handle_;
    TimeResolution resolution_;
    std::uint16_t linkType_;
    bool classicRecords_; // pcap rather than pcapng
    bool knowsOffsets_;
    std::uint32_t nextIndex_ = 0;
    std::int64_t nextOffset_ = -1; // -1: ask the stream
    std::unique_ptr<ClassicRecords> classic_;
    static constexpr std::int64_t classicRecordHeaderLength = 16;
};
