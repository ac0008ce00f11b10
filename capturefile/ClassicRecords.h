#pragma once

#include "record/CapturedPacket.h"

#include <cstdint>
#include <memory>
#include <string>

// The records of a classic pcap file (a 16-byte header, then the captured
// bytes), read a large block at a time and handed out in place. libpcap
// reads the same records with two buffered reads each, which costs more
// than the rest of a load's reading together; it still opens the file and
// checks its header, and reads every other kind of file.
//
// Records are read as libpcap reads them: a record longer than the file's
// snapshot length is cut to it, and one longer than any capture can be is
// an error, as is a file that ends inside a record.
class ClassicRecords final {
public:
    struct Layout {
        bool bigEndian = false;
        bool nanoseconds = false;   // its fractions are nanoseconds, not microseconds
        std::uint32_t snapshot = 0; // what libpcap cuts records to
        std::uint16_t linkType = 1;
    };
    // Reads `fd` (kept open by its owner) from `firstRecord` on.
    ClassicRecords(int fd, std::uint64_t firstRecord, Layout layout);

    enum class Read { Packet, End, Failed };
    // The packet's bytes stay valid until the next call.
    Read next(CapturedPacket& packet);
    // What went wrong, once next() failed.
    [[nodiscard]] const std::string& errorText() const { return error_; }

private:
    // Makes at least `wanted` bytes available from `position_` unless the
    // file ends first; false on a read error.
    bool fill(std::size_t wanted);
    [[nodiscard]] std::size_t available() const { return end_ - position_; }
    [[nodiscard]] std::uint32_t field(std::size_t at) const;
    Read fail(std::string text);

    static constexpr std::size_t blockSize = std::size_t{1} << 20;
    int fd_;
    Layout layout_;
    std::unique_ptr<std::uint8_t[]> block_;
    std::size_t position_ = 0, end_ = 0; // the unread bytes of block_
    std::uint64_t blockOffset_;          // the file offset of block_[0]
    bool atEnd_ = false;                 // the file has no more bytes
    std::uint32_t nextIndex_ = 0;
    std::string error_;
};
