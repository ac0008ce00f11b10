#pragma once

#include "capture/PcapHandles.h"
#include "dissect/CapturedPacket.h"

#include <cstdint>
#include <memory>
#include <string>

// The packets of a capture file (pcap or pcapng; "-" is standard input), in
// file order, with their capture times in nanoseconds and the byte offset of
// each packet's record in the file.
class FilePacketSource final {
public:
    // Nothing, with the library's error text in `error`, where the file
    // cannot be opened or is not a capture file.
    static std::unique_ptr<FilePacketSource> open(const std::string& path, std::string& error);

    enum class Read { Packet, End, Failed };
    // The packet's bytes stay valid until the next call.
    Read next(CapturedPacket& packet);
    // The library's text for a failed read.
    [[nodiscard]] std::string errorText() const;

private:
    FilePacketSource(PcapHandle handle, TimeResolution resolution);

    PcapHandle handle_;
    TimeResolution resolution_;
    std::uint16_t linkType_;
    bool classicRecords_; // pcap rather than pcapng
    std::uint32_t nextIndex_ = 0;
    std::int64_t nextOffset_ = -1; // -1: ask the stream
    static constexpr std::int64_t classicRecordHeaderLength = 16;
};
