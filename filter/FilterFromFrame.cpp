#include "filter/FilterFromFrame.h"

#include "fields/FieldText.h"
#include "filter/FilterFields.h"
#include "record/IaxNumbers.h"


namespace filter {
namespace {

// The values of a field in the frame, as expressions.
std::vector<std::string> expressionsOf(const KvIAXFrame& frame, const Field& field) {
    struct Writer final : ValueSink {
        explicit Writer(const Field& f) : field(f) {}
        bool take(const Value& value) override {
            written.push_back(expressionFor(field, value));
            return false;
        }
        const Field& field;
        std::vector<std::string> written;
    } writer(field);
    static const FieldContext none;
    field.read(FieldFrame(frame, 0, none), field, writer);
    return writer.written;
}

std::optional<std::string> comparison(const KvIAXFrame& frame, const char* name) {
    const Field* field = findField(name);
    const auto made = field != nullptr ? expressionsOf(frame, *field) : std::vector<std::string>{};
    return made.empty() ? std::nullopt : std::optional(made.front());
}

} // namespace

std::string quoted(std::string_view text) {
    return fields::quotedText(text);
}

std::string expressionFor(const Field& field, const Value& value) {
    return fields::filterExpression(field, value);
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
    const Field* field = fields::elementField(elements[row].identifier);
    if (field == nullptr) {
        return "iax2.ie_id == " + std::to_string(elements[row].identifier);
    }
    // The element's own value where several share its identifier.
    std::size_t nth = 0;
    for (std::size_t i = 0; i < row; ++i) {
        nth += elements[i].identifierCaptured && elements[i].identifier == elements[row].identifier
                   ? 1
                   : 0;
    }
    const auto values = expressionsOf(frame, *field);
    return nth < values.size() ? std::optional(values[nth]) : std::nullopt;
}

} // namespace filter
