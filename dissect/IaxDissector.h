#pragma once

#include "linklayer/ByteCursor.h"
#include "record/CapturedPacket.h"
#include "decrypt/FrameDecryption.h"
#include "dissect/KvIAXFrame.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <vector>

// Turns one captured packet into the facts of a frame record. The link and
// network layers are found by locateIaxPayload (PacketLayers.h); this class
// reads the IAX2 payload.
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
// still yields a record, whose kind is Truncated; an element that runs past
// the end of the capture is listed with the value "(truncated)", one that runs
// past the end its length fields declare with "(malformed)".
//
// Decoding keeps no state between packets; one dissector per worker thread.
// The frames of encrypted calls are opened by a FrameDecryption, which
// follows the capture's calls and so is the caller's, one per run.
class IaxDissector final {
public:
    using Clock = std::uint32_t (*)(); // seconds since local midnight

    // Unrecognised elements are dumped on `unknownElementDump`.
    explicit IaxDissector(std::ostream& unknownElementDump, Clock clock = nullptr);

    // Replaces the facts of `frame` (a fresh record) with those of `packet`.
    // With `decryption`, a frame it opens is decoded as the clear frame it
    // holds, lengths included; one it cannot open keeps the facts its bytes
    // give and says why it is locked.
    void decodeInto(const CapturedPacket& packet, KvIAXFrame& frame,
                    FrameDecryption* decryption = nullptr) const;
    // A new record of an Ethernet packet's bytes alone.
    [[nodiscard]] std::shared_ptr<KvIAXFrame>
    decodePacket(std::span<const std::uint8_t> captured) const;

    // Adds the display values of a full frame to `map`. `payload` holds the
    // captured payload bytes; `payloadLength` is what the UDP header declares
    // (its length minus 8), which may be more or less.
    void decodeIAXFullFrame(ByteCursor payload, long payloadLength, PropertyMap& map) const;
    // The codec name of a voice frame's subclass, logging the value.
    [[nodiscard]] const char* decodeAudioFormat(std::uint8_t subclass) const;
    // `area` holds the captured element bytes; `length` is the declared length.
    void decodeInformationElements(ByteCursor area, long length, ElementList& list) const;
    // Where the elements of an area lie; dumps the unrecognised ones.
    [[nodiscard]] std::vector<ElementFact> walkInformationElements(ByteCursor area,
                                                                   long length) const;

private:
    void decodeFullFrame(ByteCursor payload, long payloadLength, FrameFacts& facts,
                         ElementArea& elements) const;

    std::ostream& unknownElementDump_;
    Clock clock_;
};
