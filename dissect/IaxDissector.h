#pragma once

#include "dissect/ByteCursor.h"
#include "dissect/KvIAXFrame.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>

// Turns the bytes of one captured packet into a frame record.
//
// Packets are read at fixed offsets, whatever they hold: Ethernet (14 bytes),
// IPv4 without options (20 bytes), UDP (8 bytes), then the IAX2 payload.
//
//    offset 26: IPv4 source        offset 30: IPv4 destination
//    offset 38: UDP length (header included)    offset 42: IAX2 payload
//
// Full frame (F = 1):                    Mini frame (F = 0):
//    0                   1                   0                   1
//    0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5       0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5
//   |F|     source call number      |     |0|     source call number      |
//   |R|   destination call number   |     |          timestamp            |
//   |          timestamp (32)       |     |        media ...
//   | oseqno        | iseqno        |
//   | frame type    | subclass      |
//   | information elements ...
//
// Nothing is read past the captured bytes. A packet too short for its header
// still yields a record, whose `type` is "Truncated"; an element that runs past
// the end of the capture is listed with the value "(truncated)", one that runs
// past the end its length fields declare with "(malformed)".
//
// Decoding keeps no state between packets; one dissector per worker thread.
class IaxDissector final {
public:
    using Clock = std::uint32_t (*)(); // seconds since local midnight

    // Unrecognised elements are dumped on `unknownElementDump`.
    explicit IaxDissector(std::ostream& unknownElementDump, Clock clock = nullptr);

    [[nodiscard]] std::shared_ptr<KvIAXFrame>
    decodePacket(std::span<const std::uint8_t> captured) const;

    // `payload` holds the captured payload bytes; `payloadLength` is what the
    // UDP header declares (its length minus 8), which may be more or less.
    void decodeIAXFullFrame(ByteCursor payload, long payloadLength, PropertyMap& map) const;
    [[nodiscard]] const char* decodeAudioFormat(std::uint8_t subclass) const;
    // `area` holds the captured element bytes; `length` is the declared length.
    void decodeInformationElements(ByteCursor area, long length, ElementList& list) const;

private:
    void decodeMiniFrame(ByteCursor payload, PropertyMap& map) const;
    void setTruncated(PropertyMap& map) const;
    [[nodiscard]] PropertyValue now() const;

    std::ostream& unknownElementDump_;
    Clock clock_;
};
