#include "dissect/Malformation.h"

#include "dissect/InformationElementTable.h"

#include <algorithm>

namespace {

constexpr std::uint16_t fullHeaderLength = 12;
constexpr std::uint16_t miniHeaderLength = 4;

// The size a number element's field takes; 0 for any other.
std::uint16_t numberSize(FieldKind kind) {
    switch (kind) {
    case FieldKind::Unsigned8:
        return 1;
    case FieldKind::Unsigned16:
    case FieldKind::Signed16:
        return 2;
    case FieldKind::Unsigned32:
    case FieldKind::Unsigned64: // a codec mask: the 32 bits RFC 5456 sends
        return 4;
    default:
        return 0;
    }
}

std::optional<Malformation> elementMalformation(const KvIAXFrame& frame) {
    const ElementArea& area = frame.elementArea();
    const auto bytes = area.bytes();
    for (const ElementFact& fact : area.elements()) {
        if (!fact.identifierCaptured || !fact.lengthCaptured) {
            return std::nullopt; // cut by the capture from here on
        }
        if (fact.offset + 2u + fact.length > area.declaredLength()) {
            return Malformation{
                Malformation::Kind::ElementPastEnd, fact.identifier, fact.length,
                static_cast<std::uint16_t>(area.declaredLength() - fact.offset - 2u)};
        }
        const auto& row = iaxelements::elementTable[fact.identifier];
        if (row.field == nullptr) {
            continue;
        }
        const std::uint16_t wanted = numberSize(row.fieldKind);
        if (row.form == iaxelements::FieldForm::Plain && wanted != 0 && fact.length != wanted &&
            !(row.fieldKind == FieldKind::Unsigned64 && fact.length == 8)) {
            return Malformation{Malformation::Kind::ElementSize, fact.identifier, fact.length,
                                wanted};
        }
        const std::size_t from = fact.offset + 2u;
        if (row.kind == iaxelements::ValueKind::String && from < bytes.size()) {
            const auto value =
                bytes.subspan(from, std::min<std::size_t>(fact.length, bytes.size() - from));
            if (std::find(value.begin(), value.end(), std::uint8_t{0}) != value.end()) {
                return Malformation{Malformation::Kind::TextNul, fact.identifier, fact.length, 0};
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<Malformation> malformationOf(const KvIAXFrame& frame) {
    const FrameFacts& facts = frame.facts();
    if (facts.portsCaptured == 0 || facts.isLocked()) {
        return std::nullopt;
    }
    if (facts.udpLengthShort != 0) {
        return Malformation{Malformation::Kind::UdpLengthShort, 0, facts.udpLength, 0};
    }
    // What the datagram holds after the UDP header, where the capture kept
    // the UDP length: shorter than the frame's header is wrong on the wire;
    // a capture that ended there is only truncated.
    const int declared = facts.udpLengthCaptured != 0 ? facts.udpLength - 8 : -1;
    const FrameKind kind = facts.kind();
    if (kind != FrameKind::Full && kind != FrameKind::Mini && kind != FrameKind::Truncated) {
        return std::nullopt;
    }
    const bool marked = (facts.frameType & FrameFacts::cutHeaderMark) != 0;
    const std::uint16_t header = kind == FrameKind::Full       ? fullHeaderLength
                                 : kind == FrameKind::Mini     ? miniHeaderLength
                                 : !marked                     ? 2
                                 : (facts.frameType & 1u) != 0 ? fullHeaderLength
                                                               : miniHeaderLength;
    if (declared >= 0 && declared < header) {
        return Malformation{Malformation::Kind::CutHeader, 0, static_cast<std::uint16_t>(declared),
                            header};
    }
    return kind == FrameKind::Full ? elementMalformation(frame) : std::nullopt;
}

std::string malformationText(const Malformation& malformation) {
    const auto bytes = [](std::uint16_t count) {
        return std::to_string(count) + (count == 1 ? " byte" : " bytes");
    };
    const auto element = [&] {
        const auto& row = iaxelements::elementTable[malformation.element];
        return "element " + std::to_string(malformation.element) + " (" + row.name + ")";
    };
    switch (malformation.kind) {
    case Malformation::Kind::UdpLengthShort:
        return "the UDP length (" + std::to_string(malformation.size) +
               ") is shorter than the IP payload: what follows it is not read";
    case Malformation::Kind::CutHeader:
        return "the datagram ends within the IAX2 header: " + bytes(malformation.size) + " of " +
               std::to_string(malformation.wanted);
    case Malformation::Kind::ElementPastEnd:
        return element() + " declares " + bytes(malformation.size) + ", and the datagram holds " +
               std::to_string(malformation.wanted);
    case Malformation::Kind::ElementSize:
        return element() + " is " + bytes(malformation.size) + ", where its kind takes " +
               std::to_string(malformation.wanted);
    case Malformation::Kind::TextNul:
        return element() + " holds a NUL: its text ends there";
    }
    return {};
}
