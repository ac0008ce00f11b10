#include "dissect/IaxDissector.h"

#include "common/Log.h"
#include "dissect/FrameDisplay.h"
#include "dissect/LocalClock.h"
#include "linklayer/PacketLayers.h"
#include "record/IaxNumbers.h"

#include <algorithm>

namespace {

constexpr std::size_t udpHeaderLength = 8;
constexpr std::size_t fullHeaderLength = 12;
constexpr std::size_t miniHeaderLength = 4;

using iax::IaxControl;
using iax::Voice;

// Meta frames (RFC 5456 section 8.1.3) start with 16 zero bits, which a mini
// frame of call 0 would too.
//
//   video mini:  |0 ... 0 (16)|V=1| source call (15)|M| timestamp (15)| data
//   trunk:       |0 ... 0 (16)|0| command (7)|  data  | timestamp (32) | entries
//   an entry, with timestamps (command data bit 0):
//                | length (16) |R| source call (15)| timestamp (16) | data
//   an entry, without:
//                |R| source call (15)| length (16) | data
bool isMetaFrame(const ByteCursor& payload) {
    const auto first = payload.be16(0);
    return first && *first == 0 && payload.has(2, 1);
}

void decodeMetaFrame(const ByteCursor& payload, long declaredLength, std::size_t payloadOffset,
                     FrameFacts& facts, std::vector<TrunkEntry>& entries) {
    constexpr std::uint8_t trunkCommand = 1;
    if ((*payload.u8(2) & 0x80) != 0) {
        if (!payload.has(0, 6)) {
            facts.setKind(FrameKind::Truncated);
            return;
        }
        facts.setKind(FrameKind::VideoMini);
        facts.sourceCall = *payload.be16(2) & 0x7FFFu;
        facts.iaxTimestamp = *payload.be16(4) & 0x7FFFu;
        facts.retransmission = (*payload.be16(4) & 0x8000u) != 0 ? 1 : 0; // the marker bit
        return;
    }
    if ((*payload.u8(2) & 0x7Fu) != trunkCommand) {
        facts.setKind(FrameKind::Meta);
        facts.subclass = *payload.u8(2) & 0x7Fu; // the command
        return;
    }
    if (!payload.has(0, 8)) {
        facts.setKind(FrameKind::Truncated);
        return;
    }
    facts.setKind(FrameKind::Trunk);
    const bool timestamps = (*payload.u8(3) & 0x01u) != 0;
    facts.subclass = *payload.u8(3);
    facts.iaxTimestamp = *payload.be32(4);
    const std::size_t declared = declaredLength > 0 ? static_cast<std::size_t>(declaredLength) : 0;
    const std::size_t headerLength = timestamps ? 6 : 4;
    for (std::size_t at = 8; at < declared;) {
        TrunkEntry entry;
        entry.hasTimestamp = timestamps;
        entry.headerCaptured = payload.has(at, headerLength);
        entry.withinDatagram = at + headerLength <= declared;
        if (entry.headerCaptured) {
            const std::size_t call = timestamps ? at + 2 : at;
            entry.retransmission = (*payload.be16(call) & 0x8000u) != 0;
            entry.sourceCall = *payload.be16(call) & 0x7FFFu;
            entry.length = *payload.be16(timestamps ? at : at + 2);
            entry.timestamp = timestamps ? *payload.be16(at + 4) : 0;
            entry.dataOffset = static_cast<std::uint16_t>(payloadOffset + at + headerLength);
            entry.dataCaptured = payload.has(at + headerLength, entry.length);
            entry.withinDatagram = at + headerLength + entry.length <= declared;
        }
        entries.push_back(entry);
        if (!entry.headerCaptured || !entry.withinDatagram) {
            break;
        }
        at += headerLength + entry.length;
    }
}

// A frame cut before the end of its header: what of it there is, as packet
// analyzers read it (its packet type and source call).
void decodeCutHeader(const ByteCursor& payload, bool full, FrameFacts& facts) {
    facts.setKind(FrameKind::Truncated);
    if (const auto call = payload.be16(0)) {
        facts.sourceCall = *call & 0x7FFFu;
        facts.frameType = FrameFacts::cutHeaderMark | (full ? 1 : 0);
    }
}

void decodeMiniFrame(const ByteCursor& payload, FrameFacts& facts) {
    if (!payload.has(0, miniHeaderLength)) {
        decodeCutHeader(payload, false, facts);
        return;
    }
    facts.setKind(FrameKind::Mini);
    facts.sourceCall = *payload.be16(0) & 0x7FFFu;
    facts.iaxTimestamp = *payload.be16(2);
}

} // namespace

IaxDissector::IaxDissector(std::ostream& unknownElementDump, Clock clock)
    : unknownElementDump_(unknownElementDump),
      clock_(clock != nullptr ? clock : &localSecondsOfDay) {}

void IaxDissector::decodeInto(const CapturedPacket& packet, KvIAXFrame& frame,
                              FrameDecryption* decryption) const {
    FrameFacts facts;
    facts.fileOffset = packet.fileOffset & FrameFacts::unknownFileOffset;
    facts.packetIndex = packet.index;
    facts.captureSeconds = packet.seconds;
    facts.captureNanoseconds = packet.nanoseconds;
    facts.setResolution(packet.resolution);
    facts.capturedLength = static_cast<std::uint32_t>(packet.bytes.size());
    facts.wireLength = packet.wireLength != 0 ? packet.wireLength : facts.capturedLength;
    facts.linkType = packet.linkType;

    const LocatedPayload located =
        locateIaxPayload(ByteCursor{packet.bytes}, packet.linkType, facts);
    ElementArea elements;
    std::vector<TrunkEntry> trunk;
    if (located.isUdp) {
        ByteCursor payload = located.payload;
        const auto firstByte = payload.u8(0);
        // A payload byte was captured, so the UDP length before it was too.
        long payloadLength =
            static_cast<long>(facts.udpLength) - static_cast<long>(udpHeaderLength);
        if (decryption != nullptr && firstByte && !isMetaFrame(payload)) {
            const auto opened = decryption->open(facts, located.ipv6, payload, payloadLength);
            facts.setEncryption(opened.state);
            if (opened.state == Encryption::Opened) {
                // The record is the clear frame's: its lengths lose the padding.
                const auto removed = static_cast<std::uint32_t>(opened.removed);
                payload = ByteCursor{opened.plaintext};
                payloadLength -= static_cast<long>(removed);
                facts.capturedLength =
                    static_cast<std::uint32_t>(facts.payloadOffset + opened.plaintext.size());
                facts.wireLength -= std::min(facts.wireLength, removed);
                facts.udpLength = static_cast<std::uint16_t>(facts.udpLength - removed);
            }
        }
        if (firstByte && (*firstByte & 0x80) != 0) {
            decodeFullFrame(payload, payloadLength, facts, elements);
        } else if (isMetaFrame(payload)) {
            decodeMetaFrame(payload, payloadLength, facts.payloadOffset, facts, trunk);
        } else {
            decodeMiniFrame(payload, facts);
        }
    } else if (facts.kind() == FrameKind::Fresh) {
        facts.setKind(FrameKind::Truncated); // the capture ended in the network header
    }
    facts.decodedSecondOfDay = clock_() % (24 * 3600);
    frame.setDecoded(facts, std::move(elements), located.ipv6, std::move(trunk));
}

std::shared_ptr<KvIAXFrame>
IaxDissector::decodePacket(std::span<const std::uint8_t> captured) const {
    auto frame = std::make_shared<KvIAXFrame>();
    decodeInto(CapturedPacket{.bytes = captured}, *frame);
    return frame;
}

void IaxDissector::decodeFullFrame(ByteCursor payload, long payloadLength, FrameFacts& facts,
                                   ElementArea& elements) const {
    if (!payload.has(0, fullHeaderLength)) {
        decodeCutHeader(payload, true, facts);
        return;
    }
    facts.setKind(FrameKind::Full);
    facts.sourceCall = *payload.be16(0) & 0x7FFFu;
    facts.retransmission = (*payload.u8(2) & 0x80) != 0 ? 1 : 0;
    facts.destinationCall = *payload.be16(2) & 0x7FFFu;
    facts.iaxTimestamp = *payload.be32(4);
    facts.outboundSequence = *payload.u8(8);
    facts.inboundSequence = *payload.u8(9);
    facts.frameType = *payload.u8(10);
    facts.subclass = *payload.u8(11);

    if (facts.frameType == Voice) {
        [[maybe_unused]] const char* name = decodeAudioFormat(facts.subclass); // logs the value
    } else if (facts.frameType == IaxControl) {
        const long length = payloadLength - static_cast<long>(fullHeaderLength);
        const ByteCursor area = payload.sub(fullHeaderLength);
        const auto found = walkInformationElements(area, length);
        if (!found.empty()) {
            elements = ElementArea(area.sub(0, static_cast<std::size_t>(length)).bytes(),
                                   static_cast<std::uint32_t>(length), found);
        }
    }
}

void IaxDissector::decodeIAXFullFrame(ByteCursor payload, long payloadLength,
                                      PropertyMap& map) const {
    FrameFacts facts;
    ElementArea elements;
    decodeFullFrame(payload, payloadLength, facts, elements);
    facts.decodedSecondOfDay = clock_() % (24 * 3600);
    for (const PropertyKey key : framedisplay::keysOf(facts)) {
        if (key == PropertyKey::informationElements) {
            map.set(key, PropertyValue::elements(framedisplay::elementRecords(elements)));
        } else if (key != PropertyKey::source && key != PropertyKey::destination) {
            map.set(key, framedisplay::valueOf(facts, key));
        }
    }
    if (!facts.isFullFrameOfType(IaxControl)) {
        map.remove(PropertyKey::informationElements);
    }
}

const char* IaxDissector::decodeAudioFormat(std::uint8_t subclass) const {
    kvlog::debug("Codec value: ", subclass);
    const char* name = framedisplay::audioFormatName(subclass);
    if (name == nullptr) {
        kvlog::debug("Unexpected codec value: ", subclass);
        return "Unkn codec";
    }
    return name;
}
