#include "filter/FilterFromFrame.h"

#include "fields/ColumnFields.h"
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

std::optional<std::string> comparison(const KvIAXFrame& frame, const Field* field) {
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
    if (auto wire = comparison(frame, fields::wireFieldOfCell(key, frame))) {
        return wire;
    }
    // The column's own field, as the text the table shows.
    return comparison(frame, findField(key));
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
