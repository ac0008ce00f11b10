#include "dissect/FrameDisplay.h"

#include "dissect/IaxValueNames.h"
#include "dissect/KvIAXInformationElement.h"
#include "record/IaxNumbers.h"

#include <arpa/inet.h>

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace framedisplay {
namespace {

using iax::Control;
using iax::IaxControl;
using iax::Voice;

// The display keys, and an element list after them, in the order of a map.
// clang-format off
const std::array<PropertyKey, 13> displayKeysWithElements = {
    PropertyKey::source,   PropertyKey::destination, PropertyKey::isretry,
    PropertyKey::type,     PropertyKey::subclass,    PropertyKey::timestamp,
    PropertyKey::scall,    PropertyKey::dcall,       PropertyKey::time,
    PropertyKey::captured, PropertyKey::sourcePort,  PropertyKey::destinationPort,
    PropertyKey::informationElements};
// clang-format on

// Where a frame's value goes: made into a PropertyValue for a view, or
// written as text straight away for a writer, from one description of the
// values. Each call returns the sink's result for a value; `none` is the
// result for a key the frame does not show.
struct ValueMaker {
    using Result = std::optional<PropertyValue>;
    static Result none() { return std::nullopt; }
    static Result literal(const char* text) { return PropertyValue::literal(text); }
    static Result text(std::string_view utf8) { return PropertyValue::text(utf8); }
    static Result address(std::uint32_t hostOrder) { return PropertyValue::address(hostOrder); }
    static Result padded5(std::uint32_t number) { return PropertyValue::padded5(number); }
    static Result unsignedNumber(std::uint32_t number) {
        return PropertyValue::unsignedNumber(number);
    }
    static Result clockTime(std::uint32_t seconds) { return PropertyValue::clockTime(seconds); }
    static Result emptyElements() { return PropertyValue::elements({}); }
    static Result captured(const FrameFacts& facts) {
        std::string text;
        appendCapturedText(text, facts);
        return PropertyValue::text(text);
    }
};

// The same values as text at the end of `out`; false for a key not shown.
struct TextWriter {
    using Result = bool;
    std::string& out;
    static Result none() { return false; }
    Result literal(const char* text) const {
        out.append(text);
        return true;
    }
    Result text(std::string_view utf8) const {
        out.append(utf8);
        return true;
    }
    Result address(std::uint32_t hostOrder) const {
        appendDottedDecimal(out, hostOrder);
        return true;
    }
    Result padded5(std::uint32_t number) const {
        appendPadded5(out, number);
        return true;
    }
    Result unsignedNumber(std::uint32_t number) const {
        appendUnsigned(out, number);
        return true;
    }
    Result clockTime(std::uint32_t seconds) const {
        appendClockTime(out, seconds);
        return true;
    }
    static Result emptyElements() { return true; } // a list shows no text
    Result captured(const FrameFacts& facts) const {
        appendCapturedText(out, facts);
        return true;
    }
};

template <typename Sink> typename Sink::Result notApplicable(Sink& sink) {
    return sink.literal("N/A");
}

// A table name, or the number itself where the table has no name for it.
template <typename Sink>
typename Sink::Result nameOrNumber(Sink& sink, const char* name, unsigned number) {
    return name != nullptr ? sink.literal(name) : sink.unsignedNumber(number);
}

template <typename Sink>
typename Sink::Result addressValue(Sink& sink, const FrameFacts& facts, bool source,
                                   const Ipv6Addresses* ipv6) {
    if (facts.kind() == FrameKind::Fresh) {
        return sink.literal(placeholderAddress);
    }
    if (facts.family() == AddressFamily::None) {
        return notApplicable(sink); // not an IP packet
    }
    const bool captured = source ? facts.sourceCaptured != 0 : facts.destinationCaptured != 0;
    if (!captured) {
        return sink.literal("Truncated");
    }
    if (facts.family() == AddressFamily::IPv6) {
        return ipv6 != nullptr ? sink.text(ipv6Text(source ? ipv6->source : ipv6->destination))
                               : sink.literal("Truncated");
    }
    return sink.address(source ? facts.sourceAddress : facts.destinationAddress);
}

// "call 5, timestamp 258, length 4", or "(truncated)" / "(malformed)" for an
// entry that runs past the captured bytes / the datagram, as elements show.
PropertyValue trunkEntryText(const TrunkEntry& entry) {
    if (!entry.withinDatagram) {
        return PropertyValue::literal("(malformed)");
    }
    if (!entry.headerCaptured || !entry.dataCaptured) {
        return PropertyValue::literal("(truncated)");
    }
    std::string text = "call " + std::to_string(entry.sourceCall);
    if (entry.hasTimestamp) {
        text += ", timestamp " + std::to_string(entry.timestamp);
    }
    text += ", length " + std::to_string(entry.length);
    return PropertyValue::text(text);
}

// What a packet that carries no IAX2 is, as its `type` shows it.
template <typename Sink>
typename Sink::Result packetClassText(Sink& sink, const FrameFacts& facts) {
    switch (facts.packetClass()) {
    case PacketClass::NotIp:
        return sink.literal("Not IP");
    case PacketClass::Arp:
        return sink.literal("ARP");
    case PacketClass::UnknownLinkType:
        return sink.literal("Unknown Link Type");
    case PacketClass::MalformedIPv4:
        return sink.literal("Malformed IPv4");
    case PacketClass::MalformedIPv6:
        return sink.literal("Malformed IPv6");
    case PacketClass::Ipv4Fragment:
        return sink.literal("IPv4 Fragment");
    case PacketClass::Ipv6Fragment:
        return sink.literal("IPv6 Fragment");
    case PacketClass::Tcp:
        return sink.literal("TCP");
    case PacketClass::Icmp:
        return sink.literal("ICMP");
    case PacketClass::Icmpv6:
        return sink.literal("ICMPv6");
    case PacketClass::OtherIpProtocol:
        return sink.text("IP Protocol " + std::to_string(facts.subclass));
    case PacketClass::Hep:
        return sink.text("HEP type " + std::to_string(facts.subclass));
    }
    return sink.literal("Unknown");
}

bool isDecodedType(std::uint8_t type) {
    return type == Voice || type == Control || type == IaxControl;
}

template <typename Sink>
typename Sink::Result fullFrameSubclass(Sink& sink, const FrameFacts& facts) {
    switch (facts.frameType) {
    case IaxControl:
        return nameOrNumber(
            sink, iaxvalues::shownName(iaxvalues::iaxSubclasses(), facts.subclass & 0x7Fu),
            facts.subclass & 0x7Fu);
    case Voice: {
        const char* name = audioFormatName(facts.subclass);
        return sink.literal(name != nullptr ? name : "Unkn codec");
    }
    case Control:
        return nameOrNumber(sink,
                            iaxvalues::shownName(iaxvalues::controlSubclasses(), facts.subclass),
                            facts.subclass);
    default:
        return sink.literal("Unknown");
    }
}

// The header values of a full frame; other frame types are not decoded, so
// their header values are not shown.
template <typename Sink>
typename Sink::Result fullFrameValue(Sink& sink, const FrameFacts& facts, PropertyKey key) {
    const bool decoded = isDecodedType(facts.frameType);
    if (key == PropertyKey::isretry) {
        return sink.literal(!decoded ? "?" : facts.retransmission != 0 ? "Yes" : "No");
    }
    if (key == PropertyKey::type) {
        return decoded
                   ? sink.literal(iaxvalues::shownName(iaxvalues::frameTypes(), facts.frameType))
                   : sink.unsignedNumber(facts.frameType);
    }
    if (key == PropertyKey::subclass) {
        return fullFrameSubclass(sink, facts);
    }
    if (key == PropertyKey::timestamp) {
        return sink.padded5(decoded ? facts.iaxTimestamp : 0);
    }
    if (key == PropertyKey::scall) {
        return sink.padded5(decoded ? facts.sourceCall : 0);
    }
    if (key == PropertyKey::dcall) {
        return sink.padded5(decoded ? facts.destinationCall : 0);
    }
    return sink.none();
}

template <typename Sink>
typename Sink::Result miniFrameValue(Sink& sink, const FrameFacts& facts, PropertyKey key) {
    if (key == PropertyKey::type) {
        return sink.literal("Mini Frame");
    }
    if (key == PropertyKey::timestamp) {
        return sink.padded5(facts.iaxTimestamp);
    }
    if (key == PropertyKey::scall) {
        return sink.padded5(facts.sourceCall);
    }
    return notApplicable(sink);
}

} // namespace

std::span<const PropertyKey> displayKeys() {
    return std::span<const PropertyKey>(displayKeysWithElements).first(12);
}

std::span<const PropertyKey> keysOf(const FrameFacts& facts) {
    return hasElementList(facts) ? std::span<const PropertyKey>(displayKeysWithElements)
                                 : displayKeys();
}

bool hasElementList(const FrameFacts& facts) {
    return facts.isFullFrameOfType(IaxControl) || facts.kind() == FrameKind::Trunk ||
           facts.kind() == FrameKind::VideoMini;
}

RecordList elementRecordsOf(const FrameFacts& facts, const ElementArea& area,
                            const std::vector<TrunkEntry>& trunk) {
    auto record = [](const char* name, PropertyValue value) {
        auto element = std::make_shared<KvIAXInformationElement>();
        element->setElement(name, std::move(value));
        return element;
    };
    RecordList records;
    if (facts.kind() == FrameKind::VideoMini) {
        records.push_back(record("Marker", PropertyValue::unsignedNumber(facts.retransmission)));
    } else if (facts.kind() == FrameKind::Trunk) {
        for (const TrunkEntry& entry : trunk) {
            records.push_back(record("Trunk Entry", trunkEntryText(entry)));
        }
    } else {
        records = elementRecords(area);
    }
    return records;
}

namespace {

template <typename Sink>
typename Sink::Result valueWith(Sink& sink, const FrameFacts& facts, PropertyKey key,
                                const Ipv6Addresses* ipv6) {
    if (key == PropertyKey::source || key == PropertyKey::destination) {
        return addressValue(sink, facts, key == PropertyKey::source, ipv6);
    }
    if (key == PropertyKey::informationElements) {
        return hasElementList(facts) ? sink.emptyElements() : sink.none();
    }
    if (key == PropertyKey::time) {
        return facts.kind() == FrameKind::Fresh ? notApplicable(sink)
                                                : sink.clockTime(facts.decodedSecondOfDay);
    }
    if (key == PropertyKey::captured) {
        if (facts.kind() == FrameKind::Fresh) {
            return notApplicable(sink);
        }
        return sink.captured(facts);
    }
    if (key == PropertyKey::sourcePort || key == PropertyKey::destinationPort) {
        if (facts.portsCaptured == 0) {
            return notApplicable(sink);
        }
        return sink.unsignedNumber(key == PropertyKey::sourcePort ? facts.sourcePort
                                                                  : facts.destinationPort);
    }
    if (key.id() > PropertyKey::time.id()) {
        return sink.none(); // not a frame key
    }
    switch (facts.kind()) {
    case FrameKind::Full:
        return fullFrameValue(sink, facts, key);
    case FrameKind::Mini:
        return miniFrameValue(sink, facts, key);
    case FrameKind::Truncated:
        return key == PropertyKey::type ? sink.literal("Truncated") : notApplicable(sink);
    case FrameKind::NotIax:
        return key == PropertyKey::type ? packetClassText(sink, facts) : notApplicable(sink);
    case FrameKind::VideoMini:
        if (key == PropertyKey::type) {
            return sink.literal("Video Mini Frame");
        }
        return key == PropertyKey::timestamp || key == PropertyKey::scall
                   ? miniFrameValue(sink, facts, key)
                   : notApplicable(sink);
    case FrameKind::Meta:
        return key == PropertyKey::type ? sink.literal("Meta Frame") : notApplicable(sink);
    case FrameKind::Trunk:
        if (key == PropertyKey::type) {
            return sink.literal("Trunk Frame");
        }
        return key == PropertyKey::timestamp ? sink.padded5(facts.iaxTimestamp)
                                             : notApplicable(sink);
    case FrameKind::Fresh:
        return notApplicable(sink);
    }
    return sink.none();
}

} // namespace

std::optional<PropertyValue> valueOf(const FrameFacts& facts, PropertyKey key,
                                     const Ipv6Addresses* ipv6) {
    ValueMaker maker;
    return valueWith(maker, facts, key, ipv6);
}

bool appendValueText(std::string& out, const FrameFacts& facts, PropertyKey key,
                     const Ipv6Addresses* ipv6) {
    TextWriter writer{out};
    return valueWith(writer, facts, key, ipv6);
}

void appendCapturedText(std::string& out, const FrameFacts& facts) {
    // Converting to local time costs a time-zone look-up; captures come in
    // time order, so the text of the last second is kept per thread.
    thread_local std::int64_t cachedSecond = INT64_MIN;
    thread_local char cached[32] = {};
    thread_local std::size_t cachedLength = 0;
    if (facts.captureSeconds != cachedSecond) {
        const auto seconds = static_cast<std::time_t>(facts.captureSeconds);
        std::tm local{};
        if (localtime_r(&seconds, &local) == nullptr ||
            std::strftime(cached, sizeof cached, "%Y-%m-%dT%H:%M:%S", &local) == 0) {
            std::snprintf(cached, sizeof cached, "%lld", static_cast<long long>(seconds));
        }
        cachedSecond = facts.captureSeconds;
        cachedLength = std::strlen(cached);
    }
    char fraction[7] = {'.'};
    unsigned micro = facts.captureNanoseconds / 1000 % 1000000;
    for (int digit = 6; digit >= 1; --digit) {
        fraction[digit] = static_cast<char>('0' + micro % 10);
        micro /= 10;
    }
    out.append(cached, cachedLength).append(fraction, sizeof fraction);
}

std::string capturedText(const FrameFacts& facts, TimeFormat format, const FrameFacts* first,
                         const FrameFacts* previous) {
    std::string text;
    switch (format) {
    case TimeFormat::DateAndTime:
        appendCapturedText(text, facts);
        break;
    case TimeFormat::TimeOfDay:
        appendCapturedText(text, facts);
        text.erase(0, text.find('T') + 1);
        break;
    case TimeFormat::SinceFirst:
    case TimeFormat::SincePrevious: {
        const FrameFacts* since = format == TimeFormat::SinceFirst ? first : previous;
        const std::int64_t nanoseconds =
            since == nullptr ? 0
                             : (facts.captureSeconds - since->captureSeconds) * 1'000'000'000 +
                                   (static_cast<std::int64_t>(facts.captureNanoseconds) -
                                    static_cast<std::int64_t>(since->captureNanoseconds));
        const std::int64_t micro = nanoseconds / 1000;
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%s%lld.%06lld", micro < 0 ? "-" : "",
                      static_cast<long long>((micro < 0 ? -micro : micro) / 1'000'000),
                      static_cast<long long>((micro < 0 ? -micro : micro) % 1'000'000));
        text = buffer;
        break;
    }
    }
    return text;
}

std::string ipv6Text(const std::array<std::uint8_t, 16>& address) {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, address.data(), text, sizeof text);
    return text;
}

const char* audioFormatName(std::uint8_t subclass) {
    const unsigned low = subclass & 0x7Fu;
    if ((subclass & 0x80) != 0) {
        return iaxvalues::shownCodecName(low); // a bit number
    }
    if (low != 0 && (low & (low - 1)) == 0) {
        // A mask with one bit set; bit 7 cannot be, as it selects the form above.
        return iaxvalues::shownCodecName(static_cast<unsigned>(__builtin_ctz(low)));
    }
    return nullptr;
}

} // namespace framedisplay
