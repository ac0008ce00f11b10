// The information elements of an IAX control frame: the walk that finds them
// as a packet is decoded, and their values, read when they are shown.
//
//   0                   1
//   0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5
//  |  identifier   | value length  |  value ... (value length bytes)
//
// Identifier 0 ends the run. Numbers are read from the first 1, 2 or 4 value
// bytes whatever the length byte says; such a read may take bytes of the next
// element, but never bytes outside the element area.
#include "dissect/FrameDisplay.h"
#include "dissect/IaxDissector.h"
#include "dissect/InformationElementTable.h"
#include "dissect/KvIAXInformationElement.h"

#include <cstdio>
#include <ostream>
#include <string>

namespace {

using iaxelements::ValueKind;

// The value shown for an element that does not fit: "(truncated)" where the
// capture ended before the element did, "(malformed)" where the element runs
// past the end the length fields declare.
PropertyValue overrun(std::size_t neededEnd, std::size_t declaredLength) {
    return PropertyValue::literal(neededEnd <= declaredLength ? "(truncated)" : "(malformed)");
}

// "%02d:%02d:%02d %02d-%02d-%d" from the packed form: bits 0-4 seconds / 2,
// 5-10 minutes, 11-15 hours, 16-20 day, 21-24 month, 25-31 years since 2000.
std::string packedDateText(std::uint32_t packed) {
    char text[48];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u %02u-%02u-%u", (packed >> 11) & 0x1Fu,
                  (packed >> 5) & 0x3Fu, (packed & 0x1Fu) * 2, (packed >> 16) & 0x1Fu,
                  (packed >> 21) & 0x0Fu, (packed >> 25) + 2000);
    return text;
}

void dumpUnknown(std::ostream& out, unsigned identifier, std::size_t position,
                 std::span<const std::uint8_t> value) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    char header[96];
    std::snprintf(header, sizeof header, "Unknown IE %u at position: %zu with length: %zu\n",
                  identifier, position, value.size());
    std::string text(header);
    for (std::uint8_t byte : value) {
        if (byte >= 0x10) {
            text.push_back(hexDigits[byte >> 4]);
        }
        text.push_back(hexDigits[byte & 0x0F]);
    }
    text.push_back('\n');
    out << text << std::flush;
}

// The first N value bytes as a number, where the area holds them.
template <std::size_t N>
std::optional<std::uint32_t> numberAt(const ByteCursor& area, std::size_t at) {
    const auto bytes = area.fixed<N>(at);
    if (!bytes) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (std::uint8_t byte : *bytes) {
        value = value << 8 | byte;
    }
    return value;
}

} // namespace

std::vector<ElementFact> IaxDissector::walkInformationElements(ByteCursor capturedArea,
                                                               long length) const {
    std::vector<ElementFact> elements;
    if (length <= 0) {
        return elements;
    }
    const auto declared = static_cast<std::size_t>(length);
    const ByteCursor area = capturedArea.sub(0, declared);
    std::size_t position = 0;
    while (position < declared) {
        ElementFact element;
        element.offset = static_cast<std::uint16_t>(position);
        const auto identifier = area.u8(position);
        if (!identifier) {
            elements.push_back(element);
            break;
        }
        if (*identifier == 0) {
            break;
        }
        element.identifier = *identifier;
        element.identifierCaptured = true;
        const auto valueLength = area.u8(position + 1);
        if (!valueLength) {
            elements.push_back(element);
            break;
        }
        element.length = *valueLength;
        element.lengthCaptured = true;
        const std::size_t valueStart = position + 2;
        if (iaxelements::elementTable[*identifier].kind == ValueKind::Unrecognised &&
            area.has(valueStart, *valueLength)) {
            dumpUnknown(unknownElementDump_, *identifier, position,
                        area.bytes().subspan(valueStart, *valueLength));
        }
        elements.push_back(element);
        position = valueStart + *valueLength;
    }
    return elements;
}

void IaxDissector::decodeInformationElements(ByteCursor area, long length,
                                             ElementList& list) const {
    const auto facts = walkInformationElements(area, length);
    if (facts.empty()) {
        return;
    }
    const ElementArea kept(area.sub(0, static_cast<std::size_t>(length)).bytes(),
                           static_cast<std::uint32_t>(length), facts);
    for (auto& record : framedisplay::elementRecords(kept)) {
        list.push_back(std::static_pointer_cast<KvIAXInformationElement>(std::move(record)));
    }
}

namespace framedisplay {

RecordList elementRecords(const ElementArea& area) {
    RecordList records;
    records.reserve(area.elements().size());
    for (const ElementFact& fact : area.elements()) {
        auto element = std::make_shared<KvIAXInformationElement>();
        auto shown = elementOf(area, fact);
        element->setElement(shown.name, std::move(shown.value));
        records.push_back(std::move(element));
    }
    return records;
}

ElementDisplay elementOf(const ElementArea& kept, const ElementFact& element) {
    const ByteCursor area{kept.bytes()};
    const std::size_t declared = kept.declaredLength();
    const std::size_t position = element.offset;
    if (!element.identifierCaptured) {
        // The capture ended where the next element would start: say that the
        // area was cut off, rather than name an element that was never read.
        return {"Information elements", overrun(position + 1, declared)};
    }
    const iaxelements::ElementKind& kind = iaxelements::elementTable[element.identifier];
    if (!element.lengthCaptured) {
        return {kind.name, overrun(position + 2, declared)};
    }
    const std::size_t valueStart = position + 2;
    const std::size_t valueLength = element.length;
    auto number = [&](std::optional<std::uint32_t> value, std::size_t width) -> ElementDisplay {
        if (!value) {
            return {kind.name, overrun(valueStart + width, declared)};
        }
        return {kind.name, PropertyValue::unsignedNumber(*value)};
    };

    switch (kind.kind) {
    case ValueKind::String:
        if (!area.has(valueStart, valueLength)) {
            return {kind.name, overrun(valueStart + valueLength, declared)};
        }
        return {kind.name,
                PropertyValue::text(latin1ToUtf8(area.bytes().subspan(valueStart, valueLength)))};
    case ValueKind::Unsigned8:
        return number(numberAt<1>(area, valueStart), 1);
    case ValueKind::Unsigned16:
        return number(numberAt<2>(area, valueStart), 2);
    case ValueKind::Unsigned32:
        return number(numberAt<4>(area, valueStart), 4);
    case ValueKind::Deprecated:
        return {kind.name, PropertyValue::literal("(deprecated)")};
    case ValueKind::Empty:
        return {kind.name, PropertyValue::literal("")};
    case ValueKind::Address:
        // A socket address: family and port first, the IPv4 address at 4.
        if (const auto address = area.be32(valueStart + 4)) {
            return {kind.name, PropertyValue::address(*address)};
        }
        return {kind.name, overrun(valueStart + 8, declared)};
    case ValueKind::PackedDate:
        if (const auto packed = area.be32(valueStart)) {
            return {kind.name, PropertyValue::text(packedDateText(*packed))};
        }
        return {kind.name, overrun(valueStart + 4, declared)};
    case ValueKind::Unrecognised:
        if (!area.has(valueStart, valueLength)) {
            return {kind.name, overrun(valueStart + valueLength, declared)};
        }
        return {kind.name, PropertyValue::literal("")};
    }
    return {kind.name, PropertyValue::literal("")};
}

} // namespace framedisplay
