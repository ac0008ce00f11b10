// The walk over the information elements of an IAX control frame.
//
//   0                   1
//   0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5
//  |  identifier   | value length  |  value ... (value length bytes)
//
// Identifier 0 ends the run. Numbers are read from the first 1, 2 or 4 value
// bytes whatever the length byte says; such a read may take bytes of the next
// element, but never bytes outside the element area.
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
PropertyValue overrun(std::size_t neededEnd, long declaredLength) {
    return PropertyValue::literal(static_cast<long>(neededEnd) <= declaredLength ? "(truncated)"
                                                                                 : "(malformed)");
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

} // namespace

void IaxDissector::decodeInformationElements(ByteCursor capturedArea, long length,
                                             ElementList& list) const {
    if (length <= 0) {
        return;
    }
    const auto declared = static_cast<std::size_t>(length);
    const ByteCursor area = capturedArea.sub(0, declared);
    std::size_t position = 0;
    while (position < declared) {
        auto element = std::make_shared<KvIAXInformationElement>();
        const auto identifier = area.u8(position);
        if (!identifier) {
            element->setElement("Unknown Info Element", overrun(position + 1, length));
            list.push_back(std::move(element));
            return;
        }
        if (*identifier == 0) {
            return;
        }
        const iaxelements::ElementKind& kind = iaxelements::elementTable[*identifier];
        const auto valueLength = area.u8(position + 1);
        if (!valueLength) {
            element->setElement(kind.name, overrun(position + 2, length));
            list.push_back(std::move(element));
            return;
        }
        const std::size_t valueStart = position + 2;

        switch (kind.kind) {
        case ValueKind::String:
            if (area.has(valueStart, *valueLength)) {
                element->addStringElement(kind.name,
                                          area.bytes().subspan(valueStart, *valueLength));
            } else {
                element->setElement(kind.name, overrun(valueStart + *valueLength, length));
            }
            break;
        case ValueKind::Unsigned8:
            if (auto bytes = area.fixed<1>(valueStart)) {
                element->add8BitElement(kind.name, *bytes);
            } else {
                element->setElement(kind.name, overrun(valueStart + 1, length));
            }
            break;
        case ValueKind::Unsigned16:
            if (auto bytes = area.fixed<2>(valueStart)) {
                element->add16BitElement(kind.name, *bytes);
            } else {
                element->setElement(kind.name, overrun(valueStart + 2, length));
            }
            break;
        case ValueKind::Unsigned32:
            if (auto bytes = area.fixed<4>(valueStart)) {
                element->add32BitElement(kind.name, *bytes);
            } else {
                element->setElement(kind.name, overrun(valueStart + 4, length));
            }
            break;
        case ValueKind::Deprecated:
            element->setElement(kind.name, PropertyValue::literal("(deprecated)"));
            break;
        case ValueKind::Empty:
            element->setElement(kind.name, PropertyValue::literal(""));
            break;
        case ValueKind::Address:
            // A socket address: family and port first, the IPv4 address at 4.
            if (auto address = area.be32(valueStart + 4)) {
                element->setElement(kind.name, PropertyValue::address(*address));
            } else {
                element->setElement(kind.name, overrun(valueStart + 8, length));
            }
            break;
        case ValueKind::PackedDate:
            if (auto packed = area.be32(valueStart)) {
                element->setElement(kind.name, PropertyValue::text(packedDateText(*packed)));
            } else {
                element->setElement(kind.name, overrun(valueStart + 4, length));
            }
            break;
        case ValueKind::Unrecognised:
            if (area.has(valueStart, *valueLength)) {
                dumpUnknown(unknownElementDump_, *identifier, position,
                            area.bytes().subspan(valueStart, *valueLength));
                element->setElement(kind.name, PropertyValue::literal(""));
            } else {
                element->setElement(kind.name, overrun(valueStart + *valueLength, length));
            }
            break;
        }
        list.push_back(std::move(element));
        position = valueStart + *valueLength;
    }
}
