#include "filter/FilterFields.h"

#include "analysis/CapturePackets.h"
#include "dissect/ByteCursor.h"
#include "dissect/FrameDisplay.h"
#include "dissect/IaxNameTables.h"
#include "filter/FrameCalls.h"
#include "record/IaxNumbers.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

namespace filter {
namespace {

// True where the sink wants no more values.
bool number(ValueSink& sink, std::int64_t value, FieldType type = FieldType::Number) {
    Value v;
    v.type = type;
    v.number = value;
    return sink.take(v);
}

bool isIax(const FrameFacts& facts) {
    switch (facts.kind()) {
    case FrameKind::Full:
    case FrameKind::Mini:
    case FrameKind::VideoMini:
    case FrameKind::Trunk:
    case FrameKind::Meta:
        return true;
    default:
        return false;
    }
}

// frame.*

void frameNumber(const FilterFrame& f, const Field&, ValueSink& sink) {
    number(sink, f.number);
}

void frameTimeRelative(const FilterFrame& f, const Field&, ValueSink& sink) {
    const FrameFacts& facts = f.frame.facts();
    const FrameFacts* first = f.context.firstFrame != nullptr ? f.context.firstFrame : &facts;
    Value v;
    v.type = FieldType::Time;
    v.seconds = static_cast<double>(facts.captureSeconds - first->captureSeconds) +
                (static_cast<double>(facts.captureNanoseconds) - first->captureNanoseconds) / 1e9;
    sink.take(v);
}

void frameLength(const FilterFrame& f, const Field&, ValueSink& sink) {
    number(sink, f.frame.facts().wireLength);
}

// eth.* and vlan.id, from the link-layer header read back from the file.
// Ethernet:  destination(6) source(6) [tag type(2) TCI(2)]... type(2)
enum class LinkPart { Source, Destination, Address, Vlan, ProviderVlan };

void linkLayer(const FilterFrame& f, const Field& field, ValueSink& sink) {
    const FrameFacts& facts = f.frame.facts();
    if (facts.linkType != 1 || f.context.packets == nullptr ||
        f.number < f.context.firstFrameInFile) {
        return;
    }
    std::vector<std::uint8_t> head;
    std::string error;
    if (!f.context.packets->readHead(facts, 64, head, error)) {
        return; // not (yet) in the file: the field is absent
    }
    const ByteCursor bytes(head);
    const auto part = static_cast<LinkPart>(field.parameter);
    auto address = [&](std::size_t at) {
        if (const auto mac = bytes.fixed<6>(at)) {
            Value v;
            v.type = FieldType::Ether;
            std::copy(mac->begin(), mac->end(), v.bytes.begin());
            return sink.take(v);
        }
        return false;
    };
    if (part == LinkPart::Source || part == LinkPart::Address) {
        if (address(6)) {
            return;
        }
    }
    if (part == LinkPart::Destination || part == LinkPart::Address) {
        address(0);
        return;
    }
    for (std::size_t at = 12; at < 12 + 4 * 8; at += 4) {
        const auto type = bytes.be16(at);
        const auto tci = bytes.be16(at + 2);
        if (!type || !tci || (*type != 0x8100 && *type != 0x88A8 && *type != 0x9100)) {
            return;
        }
        const bool provider = *type == 0x88A8;
        if (provider == (part == LinkPart::ProviderVlan) && number(sink, *tci & 0x0FFF)) {
            return;
        }
    }
}

// ip.* and ipv6.*

void ipv4(const FilterFrame& f, const Field& field, ValueSink& sink) {
    const FrameFacts& facts = f.frame.facts();
    if (facts.family() != AddressFamily::IPv4) {
        return;
    }
    // 0 source, 1 destination, 2 either
    if (field.parameter != 1 && facts.sourceCaptured != 0) {
        Value v;
        v.type = FieldType::IPv4;
        v.number = facts.sourceAddress;
        if (sink.take(v)) {
            return;
        }
    }
    if (field.parameter != 0 && facts.destinationCaptured != 0) {
        number(sink, facts.destinationAddress, FieldType::IPv4);
    }
}

void ipv6(const FilterFrame& f, const Field& field, ValueSink& sink) {
    const Ipv6Addresses* addresses = f.frame.ipv6Addresses();
    const FrameFacts& facts = f.frame.facts();
    if (addresses == nullptr || facts.family() != AddressFamily::IPv6) {
        return;
    }
    Value v;
    v.type = FieldType::IPv6;
    if (field.parameter != 1 && facts.sourceCaptured != 0) {
        v.bytes = addresses->source;
        if (sink.take(v)) {
            return;
        }
    }
    if (field.parameter != 0 && facts.destinationCaptured != 0) {
        v.bytes = addresses->destination;
        sink.take(v);
    }
}

// udp.*

void udp(const FilterFrame& f, const Field& field, ValueSink& sink) {
    const FrameFacts& facts = f.frame.facts();
    if (facts.portsCaptured == 0 || facts.kind() == FrameKind::NotIax) {
        return;
    }
    if (field.parameter != 1 && number(sink, facts.sourcePort)) {
        return;
    }
    if (field.parameter != 0) {
        number(sink, facts.destinationPort);
    }
}

// iax2.*

enum class Iax {
    PacketType,
    SourceCall,
    DestinationCall,
    Retransmission,
    Timestamp,
    OutboundSequence,
    InboundSequence,
    Type,
    IaxSubclass,
    ControlSubclass,
    VoiceCodec,
    TrunkCall,
};

void iax2(const FilterFrame& f, const Field& field, ValueSink& sink) {
    const FrameFacts& facts = f.frame.facts();
    const FrameKind kind = facts.kind();
    if (!isIax(facts)) {
        return;
    }
    const bool full = kind == FrameKind::Full;
    switch (static_cast<Iax>(field.parameter)) {
    case Iax::PacketType:
        number(sink, kind == FrameKind::Mini ? 0 : full ? 1 : kind == FrameKind::VideoMini ? 2 : 3);
        return;
    case Iax::SourceCall:
        if (full || kind == FrameKind::Mini || kind == FrameKind::VideoMini) {
            number(sink, facts.sourceCall);
        }
        return;
    case Iax::DestinationCall:
        if (full) {
            number(sink, facts.destinationCall);
        }
        return;
    case Iax::Retransmission:
        if (full) {
            number(sink, facts.retransmission, FieldType::Boolean);
        }
        return;
    case Iax::Timestamp:
        if (kind != FrameKind::Meta) {
            number(sink, facts.iaxTimestamp);
        }
        return;
    case Iax::OutboundSequence:
        if (full) {
            number(sink, facts.outboundSequence);
        }
        return;
    case Iax::InboundSequence:
        if (full) {
            number(sink, facts.inboundSequence);
        }
        return;
    case Iax::Type:
        if (full) {
            number(sink, facts.frameType);
        }
        return;
    case Iax::IaxSubclass:
        if (facts.isFullFrameOfType(iax::IaxControl)) {
            number(sink, facts.subclass);
        }
        return;
    case Iax::ControlSubclass:
        if (facts.isFullFrameOfType(iax::Control)) {
            number(sink, facts.subclass);
        }
        return;
    case Iax::VoiceCodec:
        if (facts.isFullFrameOfType(iax::Voice)) {
            number(sink, facts.codecMask());
        }
        return;
    case Iax::TrunkCall:
        for (const TrunkEntry& entry : f.frame.trunkEntries()) {
            if (entry.headerCaptured && number(sink, entry.sourceCall)) {
                return;
            }
        }
        return;
    }
}

// iax2.iax.<element>: the information elements of IAX control frames, by
// identifier. A value that runs past the element area is not read.
enum class ElementKind { Text, Unsigned, Signed, Present, AddressFamily, AddressPort, Address };

struct ElementField {
    std::uint8_t id;
    const char* name;
    ElementKind kind;
};

// clang-format off
constexpr ElementField elementFields[] = {
    {1, "called_number", ElementKind::Text},      {2, "calling_number", ElementKind::Text},
    {3, "calling_ani", ElementKind::Text},        {4, "calling_name", ElementKind::Text},
    {5, "called_context", ElementKind::Text},     {6, "username", ElementKind::Text},
    {7, "password", ElementKind::Text},           {8, "capability", ElementKind::Unsigned},
    {9, "format", ElementKind::Unsigned},         {10, "language", ElementKind::Text},
    {11, "version", ElementKind::Unsigned},       {12, "cpe_adsi", ElementKind::Unsigned},
    {13, "dnid", ElementKind::Text},              {14, "auth.methods", ElementKind::Unsigned},
    {15, "auth.challenge", ElementKind::Text},    {16, "auth.md5", ElementKind::Text},
    {17, "auth.rsa", ElementKind::Text},          {18, "app_addr.sinfamily", ElementKind::AddressFamily},
    {18, "app_addr.sinport", ElementKind::AddressPort}, {18, "app_addr.sinaddr", ElementKind::Address},
    {19, "refresh", ElementKind::Signed},         {20, "dialplan_status", ElementKind::Unsigned},
    {21, "call_no", ElementKind::Unsigned},       {22, "cause", ElementKind::Text},
    {24, "msg_count", ElementKind::Signed},       {25, "autoanswer", ElementKind::Present},
    {26, "moh", ElementKind::Present},            {27, "transferid", ElementKind::Unsigned},
    {28, "rdnis", ElementKind::Text},             {29, "provisioning", ElementKind::Text},
    {30, "aesprovisioning", ElementKind::Text},   {31, "datetime.raw", ElementKind::Unsigned},
    {32, "devicetype", ElementKind::Text},        {33, "serviceident", ElementKind::Text},
    {34, "firmwarever", ElementKind::Unsigned},   {35, "fwblockdesc", ElementKind::Unsigned},
    {36, "fwblockdata", ElementKind::Text},       {37, "provver", ElementKind::Unsigned},
    {38, "callingpres", ElementKind::Unsigned},   {39, "callington", ElementKind::Unsigned},
    {40, "callingtns", ElementKind::Unsigned},    {41, "samplingrate", ElementKind::Unsigned},
    {42, "causecode", ElementKind::Unsigned},     {43, "encryption", ElementKind::Unsigned},
    {44, "enckey", ElementKind::Text},            {45, "codecprefs", ElementKind::Text},
    {46, "rrjitter", ElementKind::Unsigned},      {47, "rrloss", ElementKind::Unsigned},
    {48, "rrpkts", ElementKind::Unsigned},        {49, "rrdelay", ElementKind::Unsigned},
    {50, "rrdropped", ElementKind::Unsigned},     {51, "rrooo", ElementKind::Unsigned},
    {55, "capability2", ElementKind::Unsigned},   {56, "format2", ElementKind::Unsigned},
};
// clang-format on

void element(const FilterFrame& f, const Field& field, ValueSink& sink) {
    const FrameFacts& facts = f.frame.facts();
    if (!facts.isFullFrameOfType(iax::IaxControl)) {
        return;
    }
    const ElementField& ie = elementFields[static_cast<std::size_t>(field.parameter)];
    const ElementArea& area = f.frame.elementArea();
    const ByteCursor bytes(area.bytes());
    for (const ElementFact& fact : area.elements()) {
        if (!fact.identifierCaptured || !fact.lengthCaptured || fact.identifier != ie.id ||
            !bytes.has(fact.offset + 2u, fact.length)) {
            continue;
        }
        const ByteCursor value = bytes.sub(fact.offset + 2u, fact.length);
        auto bigEndian = [&](std::size_t from, std::size_t width) {
            std::uint64_t n = 0;
            for (std::size_t i = 0; i < width; ++i) {
                n = n << 8 | value.u8(from + i).value_or(0);
            }
            return n;
        };
        Value v;
        bool stop = false;
        switch (ie.kind) {
        case ElementKind::Text: {
            const std::string text = framedisplay::latin1ToUtf8(value.bytes());
            v.type = FieldType::String;
            v.text = text;
            stop = sink.take(v);
            break;
        }
        case ElementKind::Unsigned:
            if (!value.empty()) {
                v.number =
                    static_cast<std::int64_t>(bigEndian(0, std::min<std::size_t>(value.size(), 8)));
                stop = sink.take(v);
            }
            break;
        case ElementKind::Signed:
            if (value.size() == 2) {
                v.number = static_cast<std::int16_t>(bigEndian(0, 2));
                stop = sink.take(v);
            } else if (!value.empty()) {
                v.number =
                    static_cast<std::int64_t>(bigEndian(0, std::min<std::size_t>(value.size(), 8)));
                stop = sink.take(v);
            }
            break;
        case ElementKind::Present:
            v.type = FieldType::Boolean;
            v.number = 1;
            stop = sink.take(v);
            break;
        // A socket address as peers send it: the family in the sender's own
        // byte order (little-endian from the peers that exist), then port and
        // address in network order. Port and address are read for AF_INET only.
        case ElementKind::AddressFamily:
        case ElementKind::AddressPort:
        case ElementKind::Address: {
            if (value.size() < 8) {
                break;
            }
            const std::int64_t family = value.u8(0).value_or(0) | value.u8(1).value_or(0) << 8;
            if (ie.kind == ElementKind::AddressFamily) {
                v.number = family;
            } else if (family != 2) {
                break;
            } else if (ie.kind == ElementKind::AddressPort) {
                v.number = static_cast<std::int64_t>(bigEndian(2, 2));
            } else {
                v.type = FieldType::IPv4;
                v.number = static_cast<std::int64_t>(bigEndian(4, 4));
            }
            stop = sink.take(v);
            break;
        }
        }
        if (stop) {
            return;
        }
    }
}

// quorvex.call: the calls a frame belongs to, 1-based.
void call(const FilterFrame& f, const Field&, ValueSink& sink) {
    if (f.context.calls == nullptr) {
        return;
    }
    bool stop = false;
    f.context.calls->forEachCall(f.number, [&](std::uint32_t call) {
        if (!stop) {
            Value v;
            v.number = call;
            stop = sink.take(v);
        }
    });
}

// The display keys, compared as the text the frame table shows.
void displayText(const FilterFrame& f, const Field& field, ValueSink& sink) {
    const std::string text = f.frame.text(PropertyKey::named(field.name));
    if (!text.empty()) {
        Value v;
        v.type = FieldType::String;
        v.text = text;
        sink.take(v);
    }
}

std::unordered_map<std::string, Field> makeFields() {
    std::unordered_map<std::string, Field> fields;
    auto add = [&](std::string name, FieldType type, auto read, int parameter = 0,
                   std::uint8_t needs = NeedsNothing) {
        fields[name] = Field{name, type, read, parameter, needs};
    };
    add("frame.number", FieldType::Number, frameNumber);
    add("frame.time_relative", FieldType::Time, frameTimeRelative);
    add("frame.len", FieldType::Number, frameLength);
    add("eth.src", FieldType::Ether, linkLayer, static_cast<int>(LinkPart::Source),
        NeedsCaptureFile);
    add("eth.dst", FieldType::Ether, linkLayer, static_cast<int>(LinkPart::Destination),
        NeedsCaptureFile);
    add("eth.addr", FieldType::Ether, linkLayer, static_cast<int>(LinkPart::Address),
        NeedsCaptureFile);
    add("vlan.id", FieldType::Number, linkLayer, static_cast<int>(LinkPart::Vlan),
        NeedsCaptureFile);
    add("ieee8021ad.id", FieldType::Number, linkLayer, static_cast<int>(LinkPart::ProviderVlan),
        NeedsCaptureFile);
    add("ip.src", FieldType::IPv4, ipv4, 0);
    add("ip.dst", FieldType::IPv4, ipv4, 1);
    add("ip.addr", FieldType::IPv4, ipv4, 2);
    add("ipv6.src", FieldType::IPv6, ipv6, 0);
    add("ipv6.dst", FieldType::IPv6, ipv6, 1);
    add("ipv6.addr", FieldType::IPv6, ipv6, 2);
    add("udp.srcport", FieldType::Number, udp, 0);
    add("udp.dstport", FieldType::Number, udp, 1);
    add("udp.port", FieldType::Number, udp, 2);
    const std::pair<const char*, Iax> iaxFields[] = {
        {"iax2.packet_type", Iax::PacketType},
        {"iax2.src_call", Iax::SourceCall},
        {"iax2.dst_call", Iax::DestinationCall},
        {"iax2.timestamp", Iax::Timestamp},
        {"iax2.oseqno", Iax::OutboundSequence},
        {"iax2.iseqno", Iax::InboundSequence},
        {"iax2.type", Iax::Type},
        {"iax2.iax.subclass", Iax::IaxSubclass},
        {"iax2.control.subclass", Iax::ControlSubclass},
        {"iax2.voice.codec", Iax::VoiceCodec},
        {"iax2.trunk.call.scallno", Iax::TrunkCall},
    };
    for (const auto& [name, which] : iaxFields) {
        add(name, FieldType::Number, iax2, static_cast<int>(which));
    }
    add("iax2.retransmission", FieldType::Boolean, iax2, static_cast<int>(Iax::Retransmission));
    for (std::size_t i = 0; i < std::size(elementFields); ++i) {
        const ElementField& ie = elementFields[i];
        const FieldType type = ie.kind == ElementKind::Text      ? FieldType::String
                               : ie.kind == ElementKind::Present ? FieldType::Boolean
                               : ie.kind == ElementKind::Address ? FieldType::IPv4
                                                                 : FieldType::Number;
        add(std::string("iax2.iax.") + ie.name, type, element, static_cast<int>(i));
    }
    add("quorvex.call", FieldType::Number, call, 0, NeedsCalls);
    for (const PropertyKey key :
         {PropertyKey::source, PropertyKey::destination, PropertyKey::isretry, PropertyKey::type,
          PropertyKey::subclass, PropertyKey::timestamp, PropertyKey::scall, PropertyKey::dcall,
          PropertyKey::time, PropertyKey::captured, PropertyKey::sourcePort,
          PropertyKey::destinationPort}) {
        add(std::string(key.name()), FieldType::String, displayText, key.id());
    }
    return fields;
}

bool sameName(std::string_view a, const char* b) {
    return b != nullptr && a.size() == std::char_traits<char>::length(b) &&
           std::equal(a.begin(), a.end(), b, [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

const char* typeName(FieldType type) {
    switch (type) {
    case FieldType::Number:
        return "a number";
    case FieldType::Boolean:
        return "a flag (1 or 0)";
    case FieldType::Time:
        return "a time in seconds";
    case FieldType::IPv4:
        return "an IPv4 address";
    case FieldType::IPv6:
        return "an IPv6 address";
    case FieldType::Ether:
        return "an Ethernet address";
    case FieldType::String:
        return "text";
    }
    return "";
}

const Field* findField(std::string_view name) {
    static const std::unordered_map<std::string, Field> fields = makeFields();
    const auto found = fields.find(std::string(name));
    return found != fields.end() ? &found->second : nullptr;
}

const Field* elementField(std::uint8_t identifier) {
    for (const ElementField& ie : elementFields) {
        if (ie.id == identifier) {
            return findField(std::string("iax2.iax.") + ie.name);
        }
    }
    return nullptr;
}

std::int64_t numberNamed(const Field& field, std::string_view name) {
    auto search = [&](const auto& table) -> std::int64_t {
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (sameName(name, table[i])) {
                return static_cast<std::int64_t>(i);
            }
        }
        return -1;
    };
    if (field.name == "iax2.iax.subclass") {
        return search(iaxnames::IaxControlFrames);
    }
    if (field.name == "iax2.control.subclass") {
        return search(iaxnames::IaxControlSubclass);
    }
    return -1;
}

} // namespace filter
