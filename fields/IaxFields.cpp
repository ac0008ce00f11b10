// IAX2 fields: the header of every frame kind, trunk entries, and the
// information elements of IAX control frames. The header and the elements
// are in the frame's facts; payload bytes are read from the packet.
//
//   full frame   |F| source call |R| destination call | timestamp (32) |
//                | oseqno | iseqno | type | subclass | elements or data ...
//   mini frame   |0| source call | timestamp (16) | data ...
//   video mini   | 0 (16) |1| source call |M| timestamp (15) | data ...
//   trunk        | 0 (16) |0| command (7) | command data | timestamp (32) | entries ...
//   element      | identifier | length | value ...
#include "calls/FrameCalls.h"
#include "dissect/Malformation.h"
#include "linklayer/ByteCursor.h"
#include "dissect/FrameDisplay.h"
#include "dissect/InformationElementTable.h"
#include "fields/FieldRegistry.h"
#include "dissect/IaxValueNames.h"
#include "record/IaxNumbers.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <ctime>

namespace fields {
namespace {

enum class Iax {
    Protocol,
    PacketType,
    Call,
    SourceCall,
    DestinationCall,
    Retransmission,
    Timestamp,
    VideoMiniMarker,
    OutboundSequence,
    InboundSequence,
    Type,
    Subclass,
    DtmfSubclass,
    ControlSubclass,
    IaxSubclass,
    VoiceSubclass,
    VoiceCodec,
    VideoSubclass,
    VideoMarker,
    VideoCodec,
    ModemSubclass,
    TextSubclass,
    Text,
    HtmlSubclass,
    HtmlUrl,
    MetaCommand,
    CommandData,
    TrunkTimestamps,
    TrunkLength,
    TrunkSourceCall,
    TrunkTimestamp,
    TrunkPayload,
    TrunkCalls,
    Payload,
    Encrypted,
    Decrypted,
    Resent,
    Malformed,
};

constexpr int fullHeaderLength = 12;

bool isIax(FrameKind kind) {
    return kind == FrameKind::Full || kind == FrameKind::Mini || kind == FrameKind::VideoMini ||
           kind == FrameKind::Trunk || kind == FrameKind::Meta;
}

// Whether a field of the subclass byte or the data belongs to a full frame of this type.
bool appliesTo(Iax which, std::uint8_t type) {
    switch (which) {
    case Iax::DtmfSubclass:
        return type == 1 || type == 12;
    case Iax::VoiceSubclass:
    case Iax::VoiceCodec:
        return type == iax::Voice;
    case Iax::VideoSubclass:
    case Iax::VideoMarker:
    case Iax::VideoCodec:
        return type == 3;
    case Iax::ControlSubclass:
        return type == iax::Control;
    case Iax::IaxSubclass:
        return type == iax::IaxControl;
    case Iax::TextSubclass:
    case Iax::Text:
        return type == 7;
    case Iax::HtmlSubclass:
    case Iax::HtmlUrl:
        return type == 9;
    case Iax::ModemSubclass:
        return type == 11;
    case Iax::Subclass:
        return type != 1 && type != 12 && type != iax::Voice && type != 3 && type != iax::Control &&
               type != iax::IaxControl && type != 7 && type != 9 && type != 11;
    default:
        return false;
    }
}

// A codec's bit mask from a subclass byte: a mask of one bit, or a bit
// number with the C bit; 0 where it is neither, as FrameFacts reads it.
std::uint64_t codecOfSubclass(std::uint8_t subclass) {
    FrameFacts facts;
    facts.setKind(FrameKind::Full);
    facts.frameType = iax::Voice;
    facts.subclass = subclass;
    return facts.codecMask();
}

// The captured payload from `from` on, up to what UDP declares.
std::span<const std::uint8_t> payloadBytes(const FieldFrame& f, std::size_t from) {
    const FrameFacts& facts = f.facts();
    const auto packet = f.packet();
    const std::size_t end = std::min<std::size_t>(
        packet.size(), facts.payloadOffset + (facts.udpLength > 8 ? facts.udpLength - 8u : 0u));
    const std::size_t start = facts.payloadOffset + from;
    return start < end ? packet.subspan(start, end - start) : std::span<const std::uint8_t>{};
}

bool bytesValue(ValueSink& sink, const Field& field, std::span<const std::uint8_t> bytes, int offset,
                int instance = -1) {
    Value v;
    v.kind = field.kind;
    v.bytes = bytes;
    v.offset = offset;
    v.length = static_cast<std::int32_t>(bytes.size());
    v.instance = static_cast<std::int16_t>(instance);
    return sink.take(v);
}

// What a frame left encrypted shows of its header: its call numbers (in
// clear), what it is, and how much ciphertext it carries.
bool shownWhenLocked(Iax which) {
    switch (which) {
    case Iax::Protocol:
    case Iax::PacketType:
    case Iax::Call:
    case Iax::SourceCall:
    case Iax::DestinationCall:
    case Iax::Retransmission:
    case Iax::Encrypted:
        return true;
    default:
        return false;
    }
}

// A full or mini frame whose datagram (or capture) ends within its header:
// its packet type and source call are all there is, as packet analyzers
// read it; where not even they are there, nothing.
std::optional<bool> cutInHeader(const FrameFacts& facts) {
    const FrameKind kind = facts.kind();
    if (kind == FrameKind::Truncated) {
        return (facts.frameType & FrameFacts::cutHeaderMark) != 0
                   ? std::optional((facts.frameType & 1u) != 0)
                   : std::nullopt;
    }
    const int declared = facts.udpLengthCaptured != 0 ? facts.udpLength - 8 : INT_MAX;
    if ((kind == FrameKind::Full && declared < static_cast<int>(fullHeaderLength)) ||
        (kind == FrameKind::Mini && declared < 4)) {
        return kind == FrameKind::Full;
    }
    return std::nullopt;
}

void header(const FieldFrame& f, const Field& field, ValueSink& sink) {
    const FrameFacts& facts = f.facts();
    const FrameKind kind = facts.kind();
    const auto which = static_cast<Iax>(field.parameter);
    if (which == Iax::Malformed) {
        if (const auto malformation = malformationOf(f.frame())) {
            put::text(sink, field, malformationText(*malformation));
        }
        return;
    }
    if (const auto cut = cutInHeader(facts)) {
        if (which == Iax::Protocol || which == Iax::PacketType || which == Iax::SourceCall) {
            const int p = facts.payloadOffset;
            which == Iax::Protocol     ? put::text(sink, field, "", {}, p, 2)
            : which == Iax::PacketType ? put::number(sink, field, *cut ? 1 : 0)
                                       : put::number(sink, field, facts.sourceCall, p, 2);
        }
        return;
    }
    if (!isIax(kind)) {
        return;
    }
    const int p = facts.payloadOffset;
    const bool full = kind == FrameKind::Full;
    if (facts.isLocked() ? !shownWhenLocked(which) : which == Iax::Encrypted) {
        return;
    }
    switch (which) {
    case Iax::Encrypted: {
        const int clear = full ? 4 : 2;
        const int declared = facts.udpLength > 8 ? facts.udpLength - 8 : 0;
        put::number(sink, field, static_cast<std::uint64_t>(std::max(declared - clear, 0)),
                    p + clear, std::max(declared - clear, 0));
        return;
    }
    case Iax::Decrypted:
        if (facts.encryption() == Encryption::Opened) {
            put::number(sink, field, 1);
        }
        return;
    case Iax::Resent:
        if (const auto* calls = f.context().calls) {
            if (const std::uint32_t original = calls->originalOf(f.number()); original != 0) {
                put::number(sink, field, original);
            }
        }
        return;
    case Iax::Protocol:
        // No summary of its own: the details show its label, -T fields its name.
        put::text(sink, field, "", {}, p,
                   static_cast<int>(std::min<std::uint32_t>(
                       facts.capturedLength - std::min<std::uint32_t>(facts.capturedLength, p),
                       facts.udpLength > 8 ? facts.udpLength - 8u : 0u)));
        return;
    case Iax::PacketType:
        put::number(sink, field,
                     kind == FrameKind::Mini        ? 0
                     : full                         ? 1
                     : kind == FrameKind::VideoMini ? 2
                                                    : 3);
        return;
    case Iax::Call:
        if (const auto* calls = f.context().calls) {
            bool stop = false;
            calls->forEachCall(f.number(), [&](std::uint32_t call) {
                stop = stop || put::number(sink, field, call);
            });
        }
        return;
    case Iax::SourceCall:
        if (full || kind == FrameKind::Mini) {
            put::number(sink, field, facts.sourceCall, p, 2);
        } else if (kind == FrameKind::VideoMini) {
            put::number(sink, field, facts.sourceCall, p + 2, 2);
        }
        return;
    case Iax::DestinationCall:
        if (full) {
            put::number(sink, field, facts.destinationCall, p + 2, 2);
        }
        return;
    case Iax::Retransmission:
        if (full) {
            put::number(sink, field, facts.retransmission, p + 2, 2);
        }
        return;
    case Iax::Timestamp:
        if (full || kind == FrameKind::Trunk) {
            put::number(sink, field, facts.iaxTimestamp, p + 4, 4);
        } else if (kind == FrameKind::Mini) {
            put::number(sink, field, facts.iaxTimestamp, p + 2, 2);
        } else if (kind == FrameKind::VideoMini) {
            put::number(sink, field, facts.iaxTimestamp, p + 4, 2);
        }
        return;
    case Iax::VideoMiniMarker:
        if (kind == FrameKind::VideoMini) {
            put::number(sink, field, facts.retransmission, p + 4, 2);
        }
        return;
    case Iax::OutboundSequence:
        if (full) {
            put::number(sink, field, facts.outboundSequence, p + 8, 1);
        }
        return;
    case Iax::InboundSequence:
        if (full) {
            put::number(sink, field, facts.inboundSequence, p + 9, 1);
        }
        return;
    case Iax::Type:
        if (full) {
            put::number(sink, field, facts.frameType, p + 10, 1);
        }
        return;
    case Iax::MetaCommand:
        if (kind == FrameKind::Trunk || kind == FrameKind::Meta) {
            put::number(sink, field, kind == FrameKind::Trunk ? 1 : facts.subclass, p + 2, 1);
        }
        return;
    case Iax::CommandData:
        if (kind == FrameKind::Trunk) {
            put::number(sink, field, facts.subclass, p + 3, 1);
        }
        return;
    case Iax::TrunkTimestamps:
        if (kind == FrameKind::Trunk) {
            put::number(sink, field, facts.subclass & 0x01u, p + 3, 1);
        }
        return;
    case Iax::TrunkCalls:
        if (kind == FrameKind::Trunk) {
            std::uint64_t calls = 0;
            for (const TrunkEntry& entry : f.frame().trunkEntries()) {
                calls += entry.headerCaptured && entry.withinDatagram ? 1 : 0;
            }
            put::number(sink, field, calls);
        }
        return;
    default:
        break;
    }
    if (!full || !appliesTo(which, facts.frameType)) {
        return;
    }
    const std::uint8_t subclass = facts.subclass;
    switch (which) {
    case Iax::Subclass:
    case Iax::ControlSubclass:
    case Iax::IaxSubclass:
    case Iax::VoiceSubclass:
    case Iax::ModemSubclass:
    case Iax::TextSubclass:
    case Iax::HtmlSubclass:
        put::number(sink, field, subclass, p + 11, 1);
        return;
    case Iax::DtmfSubclass: {
        const char digit = static_cast<char>(subclass);
        put::text(sink, field, std::string_view(&digit, subclass == 0 ? 0 : 1), {}, p + 11, 1);
        return;
    }
    case Iax::VoiceCodec:
    case Iax::VideoCodec:
        put::number(sink, field, codecOfSubclass(which == Iax::VideoCodec ? subclass & 0xBFu : subclass),
                    p + 11, 1);
        return;
    case Iax::VideoSubclass:
        put::number(sink, field, subclass & 0xBFu, p + 11, 1);
        return;
    case Iax::VideoMarker:
        put::number(sink, field, (subclass >> 6) & 1u, p + 11, 1);
        return;
    case Iax::Text:
    case Iax::HtmlUrl: {
        const auto bytes = payloadBytes(f, fullHeaderLength);
        if (bytes.empty() || (which == Iax::HtmlUrl && subclass != 1 && subclass != 18)) {
            return; // only a URL's frames carry one, and only frames with data
        }
        const std::string text = framedisplay::latin1ToUtf8(bytes);
        put::text(sink, field, text, bytes, p + fullHeaderLength,
                   static_cast<int>(bytes.size()));
        return;
    }
    default:
        return;
    }
}

void trunk(const FieldFrame& f, const Field& field, ValueSink& sink) {
    if (f.facts().kind() != FrameKind::Trunk) {
        return;
    }
    const auto& entries = f.frame().trunkEntries();
    const auto which = static_cast<Iax>(field.parameter);
    const std::size_t payloadOffset = f.facts().payloadOffset;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TrunkEntry& entry = entries[i];
        if (!entry.headerCaptured || !entry.withinDatagram) {
            continue;
        }
        const int instance = static_cast<int>(i);
        const int headerLength = entry.hasTimestamp ? 6 : 4;
        const int start = entry.dataOffset - headerLength;
        bool stop = false;
        switch (which) {
        case Iax::TrunkLength:
            stop = put::number(sink, field, entry.length, entry.hasTimestamp ? start : start + 2, 2,
                                instance);
            break;
        case Iax::TrunkSourceCall:
            stop = put::number(sink, field, entry.sourceCall, entry.hasTimestamp ? start + 2 : start,
                                2, instance);
            break;
        case Iax::TrunkTimestamp:
            if (entry.hasTimestamp) {
                stop = put::number(sink, field, entry.timestamp, start + 4, 2, instance);
            }
            break;
        case Iax::TrunkPayload: {
            const auto bytes = payloadBytes(f, entry.dataOffset - payloadOffset);
            if (entry.dataCaptured && bytes.size() >= entry.length) {
                stop = bytesValue(sink, field, bytes.first(entry.length), entry.dataOffset, instance);
            }
            break;
        }
        default:
            return;
        }
        if (stop) {
            return;
        }
    }
}

// The voice or video data of a frame, as it was sent.
void payload(const FieldFrame& f, const Field& field, ValueSink& sink) {
    const FrameFacts& facts = f.facts();
    if (facts.isLocked()) {
        return;
    }
    std::size_t from = 0;
    switch (facts.kind()) {
    case FrameKind::Full:
        if (facts.frameType != iax::Voice && facts.frameType != 3) {
            return;
        }
        from = fullHeaderLength;
        break;
    case FrameKind::Mini:
        from = 4;
        break;
    case FrameKind::VideoMini:
        from = 6;
        break;
    default:
        return;
    }
    const auto bytes = payloadBytes(f, from);
    if (!bytes.empty()) {
        bytesValue(sink, field, bytes, static_cast<int>(facts.payloadOffset + from));
    }
}

// Which part of an element's value a field reads.
enum class Part { Value, Identifier, Length, Family, Port, Address, Moment, CodecFlag, Unknown };

// The moment a packed date stands for, in the local time zone as the
// element means it: bits 0-4 seconds / 2, 5-10 minutes, 11-15 hours,
// 16-20 day, 21-24 month, 25-31 years since 2000.
std::int64_t packedMoment(std::uint32_t packed) {
    std::tm parts{};
    parts.tm_sec = static_cast<int>((packed & 0x1Fu) * 2);
    parts.tm_min = static_cast<int>((packed >> 5) & 0x3Fu);
    parts.tm_hour = static_cast<int>((packed >> 11) & 0x1Fu);
    parts.tm_mday = static_cast<int>((packed >> 16) & 0x1Fu);
    parts.tm_mon = static_cast<int>((packed >> 21) & 0x0Fu) - 1;
    parts.tm_year = static_cast<int>(packed >> 25) + 100;
    parts.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&parts));
}

void element(const FieldFrame& f, const Field& field, ValueSink& sink) {
    const FrameFacts& facts = f.facts();
    if (!facts.isFullFrameOfType(iax::IaxControl) || facts.isLocked()) {
        return;
    }
    const auto part = static_cast<Part>(field.parameter & 0xFF);
    const int wanted = field.parameter >> 8; // an element id; 0 for any
    const ElementArea& area = f.frame().elementArea();
    const ByteCursor bytes(area.bytes());
    const int areaStart = facts.payloadOffset + fullHeaderLength;
    const auto elements = area.elements();
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const ElementFact& fact = elements[i];
        // One whose length runs past the datagram is no element: the frame
        // is malformed there (as tshark lists only the elements that fit).
        if (fact.lengthCaptured && fact.offset + 2u + fact.length > area.declaredLength()) {
            return;
        }
        const int instance = static_cast<int>(i);
        const int at = areaStart + fact.offset;
        bool stop = false;
        if (part == Part::Identifier) {
            stop = fact.identifierCaptured && put::number(sink, field, fact.identifier, at, 1, instance);
        } else if (part == Part::Length) {
            stop = fact.lengthCaptured && put::number(sink, field, fact.length, at + 1, 1, instance);
        }
        if (part == Part::Identifier || part == Part::Length) {
            if (stop) {
                return;
            }
            continue;
        }
        const auto& row = iaxelements::elementTable[fact.identifier];
        const bool known = row.field != nullptr;
        if (!fact.identifierCaptured || !fact.lengthCaptured ||
            !bytes.has(fact.offset + 2u, fact.length) ||
            (part == Part::Unknown     ? known
             : part == Part::CodecFlag ? fact.identifier != 8 && fact.identifier != 55
                                       : fact.identifier != wanted)) {
            continue;
        }
        const ByteCursor value = bytes.sub(fact.offset + 2u, fact.length);
        const int valueAt = at + 2;
        auto number = [&](std::size_t from, std::size_t width) {
            std::uint64_t n = 0;
            for (std::size_t b = 0; b < width; ++b) {
                n = n << 8 | value.u8(from + b).value_or(0);
            }
            return n;
        };
        const std::size_t size = value.size();
        const auto littleFamily = [&] {
            return std::uint64_t{value.u8(0).value_or(0)} | std::uint64_t{value.u8(1).value_or(0)} << 8;
        };
        switch (part) {
        case Part::Value:
            switch (field.kind) {
            case FieldKind::String: {
                // A text ends at its first NUL, as its sender's C string did.
                const auto bytes = value.bytes();
                const auto upToNul = bytes.first(static_cast<std::size_t>(
                    std::find(bytes.begin(), bytes.end(), std::uint8_t{0}) - bytes.begin()));
                stop = put::text(sink, field, framedisplay::latin1ToUtf8(upToNul), upToNul, valueAt,
                                  static_cast<int>(size), instance);
                break;
            }
            case FieldKind::Bytes:
                stop = bytesValue(sink, field, value.bytes(), valueAt, instance);
                break;
            case FieldKind::None:
                stop = put::number(sink, field, 1, valueAt - 2, 2, instance);
                break;
            default: {
                const std::size_t width = field.kind == FieldKind::Unsigned8    ? 1
                                          : field.kind == FieldKind::Unsigned16 ? 2
                                          : field.kind == FieldKind::Signed16   ? 2
                                          : field.kind == FieldKind::Unsigned64 ? 8
                                                                                : 4;
                // A number of another size than its kind's is no number of
                // it: the element is malformed, and gives no value. (A codec
                // mask's 64-bit field takes the 32 bits RFC 5456 sends.)
                if (size != width && !(width == 8 && size == 4)) {
                    break;
                }
                std::uint64_t n = number(0, size);
                if (field.kind == FieldKind::Signed16) {
                    n = static_cast<std::uint64_t>(static_cast<std::int64_t>(
                        static_cast<std::int16_t>(static_cast<std::uint16_t>(n))));
                }
                stop = put::number(sink, field, n, valueAt, static_cast<int>(size), instance);
                break;
            }
            }
            break;
        // A socket address as peers send it: the family in the sender's own
        // byte order (little-endian from the peers that exist), then port and
        // address in network order, read for AF_INET only.
        case Part::Family:
            if (size >= 2) {
                stop = put::number(sink, field, littleFamily(), valueAt, 2, instance);
            }
            break;
        case Part::Port:
            if (size >= 8 && littleFamily() == 2) {
                stop = put::number(sink, field, number(2, 2), valueAt + 2, 2, instance);
            }
            break;
        case Part::Address:
            if (size >= 8 && littleFamily() == 2) {
                stop = put::number(sink, field, number(4, 4), valueAt + 4, 4, instance);
            }
            break;
        case Part::Moment:
            if (size >= 4) {
                Value v;
                v.kind = field.kind;
                v.seconds = packedMoment(static_cast<std::uint32_t>(number(0, 4)));
                v.offset = valueAt;
                v.length = 4;
                v.instance = static_cast<std::int16_t>(instance);
                stop = sink.take(v);
            }
            break;
        case Part::CodecFlag:
            // A 32-bit capability has the flags of the first 32 codecs only.
            if (size > 0 && (fact.identifier == 55 || field.bitmask <= 0xFFFFFFFFu)) {
                const std::uint64_t mask = number(0, std::min<std::size_t>(size, 8));
                stop = put::number(sink, field, (mask & field.bitmask) != 0 ? 1 : 0, valueAt,
                                    static_cast<int>(size), instance);
            }
            break;
        case Part::Unknown:
            // By its length, as an element of no known field is shown.
            if ((size == 1 && field.kind == FieldKind::Unsigned8) ||
                (size == 2 && field.kind == FieldKind::Unsigned16) ||
                (size == 4 && field.kind == FieldKind::Unsigned32)) {
                stop = put::number(sink, field, number(0, size), valueAt, static_cast<int>(size),
                                    instance);
            } else if (field.kind == FieldKind::String && size != 1 && size != 2 && size != 4) {
                const std::string text = framedisplay::latin1ToUtf8(value.bytes());
                stop = put::text(sink, field, text, value.bytes(), valueAt,
                                  static_cast<int>(size), instance);
            }
            break;
        default:
            break;
        }
        if (stop) {
            return;
        }
    }
}

int elementParameter(int id, Part part) {
    return id << 8 | static_cast<int>(part);
}

} // namespace

void addIaxFields(std::vector<Field>& fields) {
    using K = FieldKind;
    using namespace iaxvalues;
    constexpr auto Dec = FieldBase::Decimal;
    constexpr auto Hex = FieldBase::Hexadecimal;
    constexpr auto None = FieldBase::None;
    auto add = [&](const char* name, const char* label, K kind, FieldBase base, Iax which,
                   std::span<const ValueName> names = {}, std::uint64_t mask = 0,
                   Reader read = header, std::uint8_t needs = NeedsNothing, Show show = Shown) {
        fields.push_back({name, label, kind, base, mask, names, "iax2", read,
                          static_cast<int>(which), needs, show, Group::None, {}});
        fields.back().group = read == trunk ? Group::TrunkEntry : Group::None;
        fields.back().parent = which == Iax::TrunkTimestamps ? "iax2.trunk.cmddata" : "";
    };
    add("iax2", "Inter-Asterisk eXchange v2", K::Protocol, None, Iax::Protocol);
    add("iax2.packet_type", "Packet type", K::Unsigned8, Dec, Iax::PacketType, packetTypes());
    add("iax2.src_call", "Source call", K::Unsigned16, Dec, Iax::SourceCall, {}, 0x7FFF);
    add("iax2.dst_call", "Destination call", K::Unsigned16, Dec, Iax::DestinationCall, {}, 0x7FFF);
    add("iax2.retransmission", "Retransmission", K::Boolean, None, Iax::Retransmission, {}, 0x8000);
    // Quorvex's own call number, as the Calls list numbers the calls.
    add("iax2.call", "Call identifier", K::Unsigned32, Dec, Iax::Call, {}, 0, header, NeedsCalls,
        Generated);
    // An encrypted call's frames: left encrypted (no key opens them), or opened.
    add("quorvex.encrypted", "Encrypted, bytes of ciphertext", K::Unsigned16, Dec, Iax::Encrypted);
    add("quorvex.decrypted", "Decrypted", K::Boolean, None, Iax::Decrypted, {}, 0, header,
        NeedsNothing, Generated);
    // A full frame sent again (its call, direction, sequence number and
    // timestamp an earlier frame's), with or without its retransmission flag.
    add("quorvex.resent", "Resent, first sent in frame", K::FrameNumber, None, Iax::Resent, {}, 0,
        header, NeedsCalls, Generated);
    // What is wrong on the wire with the frame (never what the capture cut).
    add("quorvex.malformed", "Malformed", K::String, None, Iax::Malformed, {}, 0, header,
        NeedsNothing, Generated);
    add("iax2.timestamp", "Timestamp", K::Unsigned32, Dec, Iax::Timestamp);
    add("iax2.video.mini_marker", "Marker", K::Unsigned16, Dec, Iax::VideoMiniMarker, {}, 0x8000);
    add("iax2.oseqno", "Outbound seq.no.", K::Unsigned16, Dec, Iax::OutboundSequence);
    add("iax2.iseqno", "Inbound seq.no.", K::Unsigned16, Dec, Iax::InboundSequence);
    add("iax2.type", "Type", K::Unsigned8, Dec, Iax::Type, frameTypes());
    add("iax2.subclass", "Unknown subclass", K::Unsigned8, Dec, Iax::Subclass);
    add("iax2.dtmf.subclass", "DTMF subclass (digit)", K::String, None, Iax::DtmfSubclass);
    add("iax2.control.subclass", "Control subclass", K::Unsigned8, Dec, Iax::ControlSubclass,
        controlSubclasses());
    add("iax2.iax.subclass", "IAX subclass", K::Unsigned8, Dec, Iax::IaxSubclass, iaxSubclasses());
    add("iax2.voice.subclass", "Voice Subclass (compressed codec no)", K::Unsigned8, Dec,
        Iax::VoiceSubclass);
    add("iax2.voice.codec", "CODEC", K::Unsigned64, Hex, Iax::VoiceCodec, codecs());
    add("iax2.video.subclass", "Video Subclass (compressed codec no)", K::Unsigned8, Dec,
        Iax::VideoSubclass, {}, 0xBF);
    add("iax2.video.marker", "Marker", K::Boolean, None, Iax::VideoMarker, {}, 0x40);
    add("iax2.video.codec", "CODEC", K::Unsigned64, Hex, Iax::VideoCodec, codecs());
    add("iax2.modem.subclass", "Modem subclass", K::Unsigned8, Dec, Iax::ModemSubclass,
        modemSubclasses());
    add("iax2.text.subclass", "Text subclass", K::Unsigned8, Dec, Iax::TextSubclass,
        textSubclasses());
    add("iax2.text.text", "Text", K::String, None, Iax::Text, {}, 0, header, NeedsCaptureFile);
    add("iax2.html.subclass", "HTML subclass", K::Unsigned8, Dec, Iax::HtmlSubclass,
        htmlSubclasses());
    add("iax2.html.url", "HTML URL", K::String, None, Iax::HtmlUrl, {}, 0, header,
        NeedsCaptureFile);
    add("iax2.trunk.metacmd", "Meta command", K::Unsigned8, Dec, Iax::MetaCommand, {}, 0x7F);
    add("iax2.trunk.cmddata", "Command data", K::Unsigned8, Hex, Iax::CommandData);
    add("iax2.trunk.cmddata.ts", "Trunk timestamps", K::Boolean, None, Iax::TrunkTimestamps, {},
        0x01);
    add("iax2.trunk.call.len", "Data length", K::Unsigned16, Dec, Iax::TrunkLength, {}, 0, trunk);
    add("iax2.trunk.call.scallno", "Source call number", K::Unsigned16, Dec, Iax::TrunkSourceCall,
        {}, 0x7FFF, trunk);
    add("iax2.trunk.call.ts", "Timestamp", K::Unsigned16, Dec, Iax::TrunkTimestamp, {}, 0, trunk);
    add("iax2.trunk.call.payload", "Data", K::Bytes, None, Iax::TrunkPayload, {}, 0, trunk,
        NeedsCaptureFile);
    add("iax2.trunk.ncalls", "Number of calls", K::Unsigned16, Dec, Iax::TrunkCalls, {}, 0, header,
        NeedsNothing, Generated);

    // The information elements: their id and length, then each element's
    // value fields, from the one table of elements.
    auto addElement = [&](const std::string& name, const char* label, K kind, FieldBase base,
                          int parameter, std::span<const ValueName> names = {},
                          std::uint64_t mask = 0, Show show = Shown) {
        fields.push_back({name, label, kind, base, mask, names, "iax2", element, parameter,
                          NeedsNothing, show, Group::None, {}});
        fields.back().group = Group::Element;
        // A capability's codec flags are parts of its value's line.
        fields.back().parent = name.starts_with("iax2.cap.") ? "iax2.iax.capability" : "";
    };
    addElement("iax2.ie_id", "IE id", K::Unsigned8, Dec, elementParameter(0, Part::Identifier),
               elementNames());
    addElement("iax2.length", "Length", K::Unsigned8, Dec, elementParameter(0, Part::Length));
    for (int id = 0; id < 256; ++id) {
        const auto& row = iaxelements::elementTable[static_cast<std::size_t>(id)];
        if (row.field == nullptr) {
            continue;
        }
        const std::string name = std::string("iax2.iax.") + row.field;
        switch (row.form) {
        case iaxelements::FieldForm::SocketAddress:
            addElement("iax2.iax.app_addr.sinfamily", "Family", K::Unsigned16, Dec,
                       elementParameter(id, Part::Family));
            addElement("iax2.iax.app_addr.sinport", "Port", K::Unsigned16, Dec,
                       elementParameter(id, Part::Port));
            addElement(name, row.label, row.fieldKind, row.base, elementParameter(id, Part::Address));
            break;
        case iaxelements::FieldForm::PackedDate:
            addElement(name, row.label, row.fieldKind, row.base, elementParameter(id, Part::Value));
            addElement("iax2.iax.datetime", row.label, K::AbsoluteTime, None,
                       elementParameter(id, Part::Moment));
            break;
        case iaxelements::FieldForm::CodecMask:
            addElement(name, row.label, row.fieldKind, row.base, elementParameter(id, Part::Value),
                       id == 9 || id == 56 ? codecs() : std::span<const ValueName>{});
            break;
        case iaxelements::FieldForm::CauseCode:
            addElement(name, row.label, row.fieldKind, row.base, elementParameter(id, Part::Value),
                       causeCodes());
            break;
        case iaxelements::FieldForm::DataFormat:
            addElement(name, row.label, row.fieldKind, row.base, elementParameter(id, Part::Value),
                       dataFormats());
            break;
        case iaxelements::FieldForm::Plain:
            addElement(name, row.label, row.fieldKind, row.base, elementParameter(id, Part::Value));
            break;
        }
    }
    // The codecs of a capability, a flag each (under the capability's value).
    for (const CodecFlag& flag : codecFlags()) {
        const char* label = "";
        for (const ValueName& codec : codecs()) {
            label = codec.value == flag.mask ? codec.name : label;
        }
        // One field a codec: it reads both capability elements.
        addElement(std::string("iax2.cap.") + flag.field, label, K::Boolean, None,
                   elementParameter(8, Part::CodecFlag), {}, flag.mask);
    }
    addElement("iax2.iax.unknownbyte", "Unknown", K::Unsigned8, Hex, elementParameter(0, Part::Unknown));
    addElement("iax2.iax.unknownshort", "Unknown", K::Unsigned16, Hex,
               elementParameter(0, Part::Unknown));
    addElement("iax2.iax.unknownlong", "Unknown", K::Unsigned32, Hex,
               elementParameter(0, Part::Unknown));
    addElement("iax2.iax.unknownstring", "Unknown", K::String, None,
               elementParameter(0, Part::Unknown));
    add("iax2.payload_data", "IAX2 payload", K::Bytes, None, Iax::Payload, {}, 0, payload,
        NeedsCaptureFile);
}

} // namespace fields
