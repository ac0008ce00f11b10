#include "capturefile/ClassicRecords.h"

#include "capturefile/CaptureFormat.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

ClassicRecords::ClassicRecords(int fd, std::uint64_t firstRecord, Layout layout)
    : fd_(fd), layout_(layout), block_(std::make_unique<std::uint8_t[]>(blockSize)),
      blockOffset_(firstRecord) {}

bool ClassicRecords::fill(std::size_t wanted) {
    if (available() >= wanted || atEnd_) {
        return true;
    }
    // What is left moves to the front; a record never outgrows the block.
    std::memmove(block_.get(), block_.get() + position_, available());
    blockOffset_ += position_;
    end_ -= position_;
    position_ = 0;
    while (end_ < blockSize) {
        const ssize_t got = ::pread(fd_, block_.get() + end_, blockSize - end_,
                                    static_cast<off_t>(blockOffset_ + end_));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            atEnd_ = true;
            break;
        }
        end_ += static_cast<std::size_t>(got);
        if (end_ >= wanted) {
            break;
        }
    }
    return true;
}

std::uint32_t ClassicRecords::field(std::size_t at) const {
    const std::uint8_t* bytes = block_.get() + position_ + at;
    return layout_.bigEndian ? std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                                   std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]}
                             : std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                   std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
}

ClassicRecords::Read ClassicRecords::fail(std::string text) {
    error_ = std::move(text);
    return Read::Failed;
}

ClassicRecords::Read ClassicRecords::next(CapturedPacket& packet) {
    constexpr std::size_t headerLength = 16;
    if (!fill(headerLength)) {
        return fail(std::string("error reading dump file: ") + std::strerror(errno));
    }
    if (available() == 0) {
        return Read::End;
    }
    if (available() < headerLength) {
        return fail("truncated dump file; tried to read 16 header bytes, only got " +
                    std::to_string(available()));
    }
    // seconds(4) fraction(4) captured length(4) wire length(4)
    const std::uint32_t captured = field(8);
    if (captured > maxSnapshotLength) {
        return fail("invalid packet capture length " + std::to_string(captured) +
                    ", bigger than maximum of " + std::to_string(maxSnapshotLength));
    }
    if (!fill(headerLength + captured)) {
        return fail(std::string("error reading dump file: ") + std::strerror(errno));
    }
    if (available() < headerLength + captured) {
        return fail("truncated dump file; tried to read " + std::to_string(captured) +
                    " captured bytes, only got " + std::to_string(available() - headerLength));
    }
    packet.bytes = {block_.get() + position_ + headerLength,
                    layout_.snapshot > 0 && captured > layout_.snapshot ? layout_.snapshot
                                                                        : captured};
    packet.seconds = field(0); // unsigned: past 2038, not before 1970
    const std::uint32_t fraction = field(4);
    packet.nanoseconds = layout_.nanoseconds ? fraction : fraction * 1000u;
    packet.wireLength = field(12);
    packet.linkType = layout_.linkType;
    packet.resolution =
        layout_.nanoseconds ? TimeResolution::Nanoseconds : TimeResolution::Microseconds;
    packet.index = nextIndex_++;
    packet.fileOffset = blockOffset_ + position_;
    position_ += headerLength + captured;
    return Read::Packet;
}
