#include "dissect/IaxDissector.h"

#include "common/Log.h"
#include "dissect/FrameDisplay.h"
#include "dissect/LocalClock.h"
#include "dissect/PacketLayers.h"

namespace {

constexpr std::size_t udpHeaderLength = 8;
constexpr std::size_t fullHeaderLength = 12;
constexpr std::size_t miniHeaderLength = 4;

enum FrameType : std::uint8_t { Voice = 2, IaxControl = 6 };

void decodeMiniFrame(const ByteCursor& payload, FrameFacts& facts) {
    if (!payload.has(0, miniHeaderLength)) {
        facts.setKind(FrameKind::Truncated);
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

void IaxDissector::decodeInto(const CapturedPacket& packet, KvIAXFrame& frame) const {
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
    if (located.isUdp) {
        const ByteCursor& payload = located.payload;
        const auto firstByte = payload.u8(0);
        if (firstByte && (*firstByte & 0x80) != 0) {
            // A payload byte was captured, so the UDP length before it was too.
            const long payloadLength =
                static_cast<long>(facts.udpLength) - static_cast<long>(udpHeaderLength);
            decodeFullFrame(payload, payloadLength, facts, elements);
        } else {
            decodeMiniFrame(payload, facts);
        }
    } else if (facts.kind() == FrameKind::Fresh) {
        facts.setKind(FrameKind::Truncated); // the capture ended in the network header
    }
    facts.decodedSecondOfDay = clock_() % (24 * 3600);
    frame.setDecoded(facts, std::move(elements), located.ipv6);
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
        facts.setKind(FrameKind::Truncated);
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
