#include "filter/FilterFromFrame.h"

#include "filter/FilterFields.h"
#include "record/IaxNumbers.h"

#include <arpa/inet.h>

#include <cstdio>

namespace filter {
namespace {

// The values of a field in the frame, written as the filter syntax reads
// them back.
std::vector<std::string> valuesOf(const KvIAXFrame& frame, const Field& field) {
    struct Writer final : ValueSink {
        bool take(const Value& value) override {
            char text[INET6_ADDRSTRLEN + 8] = {};
            switch (value.type) {
            case FieldType::Number:
            case FieldType::Boolean:
                written.push_back(std::to_string(value.number));
                return false;
            case FieldType::Time:
                std::snprintf(text, sizeof text, "%.9f", value.seconds);
                break;
            case FieldType::IPv4: {
                const std::uint32_t address = htonl(static_cast<std::uint32_t>(value.number));
                inet_ntop(AF_INET, &address, text, sizeof text);
                break;
            }
            case FieldType::IPv6:
                inet_ntop(AF_INET6, value.bytes.data(), text, sizeof text);
                break;
            case FieldType::Ether:
                std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", value.bytes[0],
                              value.bytes[1], value.bytes[2], value.bytes[3], value.bytes[4],
                              value.bytes[5]);
                break;
            case FieldType::String:
                written.push_back(quoted(value.text));
                return false;
            }
            written.emplace_back(text);
            return false;
        }
        std::vector<std::string> written;
    } writer;
    static const FilterContext none;
    field.read(FilterFrame{frame, 0, none}, field, writer);
    return writer.written;
}

std::optional<std::string> comparison(const KvIAXFrame& frame, const char* name) {
    const Field* field = findField(name);
    const auto values = field != nullptr ? valuesOf(frame, *field) : std::vector<std::string>{};
    return values.empty() ? std::nullopt
                          : std::optional(std::string(name) + " == " + values.front());
}

} // namespace

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::optional<std::string> expressionForCell(const KvIAXFrame& frame, std::string_view key) {
    const FrameFacts& facts = frame.facts();
    const bool ipv6 = frame.ipv6Addresses() != nullptr;
    std::optional<std::string> made;
    if (key == "source") {
        made = comparison(frame, ipv6 ? "ipv6.src" : "ip.src");
    } else if (key == "destination") {
        made = comparison(frame, ipv6 ? "ipv6.dst" : "ip.dst");
    } else if (key == "sourcePort") {
        made = comparison(frame, "udp.srcport");
    } else if (key == "destinationPort") {
        made = comparison(frame, "udp.dstport");
    } else if (key == "scall") {
        made = comparison(frame, "iax2.src_call");
    } else if (key == "dcall") {
        made = comparison(frame, "iax2.dst_call");
    } else if (key == "timestamp") {
        made = comparison(frame, "iax2.timestamp");
    } else if (key == "isretry") {
        made = comparison(frame, "iax2.retransmission");
    } else if (key == "type") {
        made =
            comparison(frame, facts.kind() == FrameKind::Full ? "iax2.type" : "iax2.packet_type");
    } else if (key == "subclass") {
        made = facts.isFullFrameOfType(iax::IaxControl) ? comparison(frame, "iax2.iax.subclass")
               : facts.isFullFrameOfType(iax::Control)  ? comparison(frame, "iax2.control.subclass")
               : facts.isFullFrameOfType(iax::Voice)    ? comparison(frame, "iax2.voice.codec")
                                                        : std::nullopt;
    }
    if (made) {
        return made;
    }
    // The display key itself, as the text the table shows.
    const Field* field = findField(key);
    return field != nullptr ? comparison(frame, field->name.c_str()) : std::nullopt;
}

std::optional<std::string> expressionForElement(const KvIAXFrame& frame, std::size_t row) {
    if (frame.facts().kind() == FrameKind::Trunk) {
        const auto& entries = frame.trunkEntries();
        return row < entries.size() && entries[row].headerCaptured
                   ? std::optional("iax2.trunk.call.scallno == " +
                                   std::to_string(entries[row].sourceCall))
                   : std::nullopt;
    }
    const auto elements = frame.elementArea().elements();
    if (!frame.facts().isFullFrameOfType(iax::IaxControl) || row >= elements.size() ||
        !elements[row].identifierCaptured) {
        return std::nullopt;
    }
    const Field* field = elementField(elements[row].identifier);
    if (field == nullptr) {
        return std::nullopt;
    }
    // The element's own value where several share its identifier.
    std::size_t nth = 0;
    for (std::size_t i = 0; i < row; ++i) {
        nth += elements[i].identifierCaptured && elements[i].identifier == elements[row].identifier
                   ? 1
                   : 0;
    }
    const auto values = valuesOf(frame, *field);
    const std::optional<std::string> value =
        nth < values.size() ? std::optional(values[nth]) : std::nullopt;
    if (!value) {
        return field->type == FieldType::Boolean ? std::optional(field->name) : std::nullopt;
    }
    return field->name + " == " + *value;
}

} // namespace filter
