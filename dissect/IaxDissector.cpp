#include "dissect/IaxDissector.h"

#include "common/Log.h"
#include "dissect/IaxNameTables.h"
#include "dissect/LocalClock.h"

namespace {

constexpr std::size_t sourceOffset = 26;
constexpr std::size_t destinationOffset = 30;
constexpr std::size_t udpLengthOffset = 38;
constexpr std::size_t payloadOffset = 42;
constexpr std::size_t udpHeaderLength = 8;
constexpr std::size_t fullHeaderLength = 12;
constexpr std::size_t miniHeaderLength = 4;

enum FrameType : std::uint8_t { Voice = 2, Control = 4, IaxControl = 6 };

PropertyValue truncatedText() {
    return PropertyValue::literal("Truncated");
}

PropertyValue addressAt(const ByteCursor& packet, std::size_t offset) {
    auto address = packet.be32(offset);
    return address ? PropertyValue::address(*address) : truncatedText();
}

// A table name, or the number itself where the table has no name for it.
PropertyValue nameOrNumber(const char* name, unsigned number) {
    return name != nullptr ? PropertyValue::literal(name) : PropertyValue::unsignedNumber(number);
}

} // namespace

IaxDissector::IaxDissector(std::ostream& unknownElementDump, Clock clock)
    : unknownElementDump_(unknownElementDump),
      clock_(clock != nullptr ? clock : &localSecondsOfDay) {}

PropertyValue IaxDissector::now() const {
    return PropertyValue::clockTime(clock_());
}

std::shared_ptr<KvIAXFrame>
IaxDissector::decodePacket(std::span<const std::uint8_t> captured) const {
    auto frame = std::make_shared<KvIAXFrame>();
    const ByteCursor packet{captured};

    PropertyMap map;
    map.reserve(10);
    map.set(PropertyKey::source, addressAt(packet, sourceOffset));
    map.set(PropertyKey::destination, addressAt(packet, destinationOffset));

    const ByteCursor payload = packet.sub(payloadOffset);
    const auto firstByte = payload.u8(0);
    if (firstByte && (*firstByte & 0x80) != 0) {
        // A payload byte was captured, so the UDP length before it was too.
        const long payloadLength =
            static_cast<long>(*packet.be16(udpLengthOffset)) - static_cast<long>(udpHeaderLength);
        decodeIAXFullFrame(payload, payloadLength, map);
    } else {
        decodeMiniFrame(payload, map);
    }

    const PropertyValue* elements = map.find(PropertyKey::informationElements);
    frame->setIaxInformationElements(elements != nullptr ? *elements : PropertyValue::elements({}));
    // The map was built for this frame alone, so the frame may take it over.
    frame->setProperties(std::move(map));
    return frame;
}

void IaxDissector::setTruncated(PropertyMap& map) const {
    const auto notApplicable = PropertyValue::literal("N/A");
    map.set(PropertyKey::isretry, notApplicable);
    map.set(PropertyKey::type, truncatedText());
    map.set(PropertyKey::subclass, notApplicable);
    map.set(PropertyKey::timestamp, notApplicable);
    map.set(PropertyKey::scall, notApplicable);
    map.set(PropertyKey::dcall, notApplicable);
    map.set(PropertyKey::time, now());
    map.remove(PropertyKey::informationElements);
}

void IaxDissector::decodeMiniFrame(ByteCursor payload, PropertyMap& map) const {
    if (!payload.has(0, miniHeaderLength)) {
        setTruncated(map);
        return;
    }
    const auto notApplicable = PropertyValue::literal("N/A");
    map.set(PropertyKey::isretry, notApplicable);
    map.set(PropertyKey::type, PropertyValue::literal("Mini Frame"));
    map.set(PropertyKey::subclass, notApplicable);
    map.set(PropertyKey::timestamp, PropertyValue::padded5(*payload.be16(2)));
    map.set(PropertyKey::scall, PropertyValue::padded5(*payload.be16(0) & 0x7FFFu));
    map.set(PropertyKey::dcall, notApplicable);
    map.set(PropertyKey::time, now());
    map.remove(PropertyKey::informationElements);
}

void IaxDissector::decodeIAXFullFrame(ByteCursor payload, long payloadLength,
                                      PropertyMap& map) const {
    if (!payload.has(0, fullHeaderLength)) {
        setTruncated(map);
        return;
    }
    const bool retransmission = (*payload.u8(2) & 0x80) != 0;
    const std::uint32_t timestamp = *payload.be32(4);
    const std::uint32_t sourceCall = *payload.be16(0) & 0x7FFFu;
    const std::uint32_t destinationCall = *payload.be16(2) & 0x7FFFu;
    const std::uint8_t frameType = *payload.u8(10);
    const std::uint8_t subclass = *payload.u8(11);

    PropertyValue subclassText = PropertyValue::literal("Unknown");
    switch (frameType) {
    case IaxControl:
        subclassText = nameOrNumber(iaxnames::lookup(iaxnames::IaxControlFrames, subclass & 0x7Fu),
                                    subclass & 0x7Fu);
        break;
    case Voice:
        subclassText = PropertyValue::literal(decodeAudioFormat(subclass));
        break;
    case Control:
        subclassText =
            nameOrNumber(iaxnames::lookup(iaxnames::IaxControlSubclass, subclass), subclass);
        break;
    default: {
        // Other frame types are not decoded: their header values are not shown.
        const auto zero = PropertyValue::padded5(0);
        map.set(PropertyKey::isretry, PropertyValue::literal("?"));
        map.set(PropertyKey::type, PropertyValue::unsignedNumber(frameType));
        map.set(PropertyKey::subclass, subclassText);
        map.set(PropertyKey::timestamp, zero);
        map.set(PropertyKey::scall, zero);
        map.set(PropertyKey::dcall, zero);
        map.set(PropertyKey::time, now());
        map.remove(PropertyKey::informationElements);
        return;
    }
    }

    map.set(PropertyKey::isretry, PropertyValue::literal(retransmission ? "Yes" : "No"));
    map.set(PropertyKey::type, PropertyValue::literal(iaxnames::IaxFrameTypes[frameType]));
    map.set(PropertyKey::subclass, std::move(subclassText));
    map.set(PropertyKey::timestamp, PropertyValue::padded5(timestamp));
    map.set(PropertyKey::scall, PropertyValue::padded5(sourceCall));
    map.set(PropertyKey::dcall, PropertyValue::padded5(destinationCall));
    map.set(PropertyKey::time, now());
    if (frameType == IaxControl) {
        ElementList elements;
        decodeInformationElements(payload.sub(fullHeaderLength),
                                  payloadLength - static_cast<long>(fullHeaderLength), elements);
        map.set(PropertyKey::informationElements, PropertyValue::elements(std::move(elements)));
    } else {
        map.remove(PropertyKey::informationElements);
    }
}

const char* IaxDissector::decodeAudioFormat(std::uint8_t subclass) const {
    kvlog::line("Codec value: ", subclass);
    const unsigned low = subclass & 0x7Fu;
    const char* name = nullptr;
    if ((subclass & 0x80) != 0) {
        name = iaxnames::lookup(iaxnames::IaxAudioFormats, low); // a bit number
    } else if (low != 0 && (low & (low - 1)) == 0) {
        // A mask with one bit set; bit 7 cannot be, as it selects the form above.
        name = iaxnames::IaxAudioFormats[static_cast<std::size_t>(__builtin_ctz(low))];
    }
    if (name == nullptr) {
        kvlog::line("Unexpected codec value: ", subclass);
        return "Unkn codec";
    }
    return name;
}
