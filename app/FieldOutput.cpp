#include "app/FieldOutput.h"

#include "app/RecordWriter.h"
#include "common/SafeText.h"
#include "fields/FieldText.h"

#include <cinttypes>
#include <cstdio>

namespace fieldoutput {
namespace {

class Collect final : public fields::ValueSink {
public:
    explicit Collect(const fields::Field& field) : field_(field) {}
    bool take(const fields::Value& value) override {
        printed.push_back(fields::printedValue(field_, value));
        return false;
    }
    std::vector<std::string> printed;

private:
    const fields::Field& field_;
};

const char* kindName(FieldKind kind) {
    switch (kind) {
    case FieldKind::Protocol:
        return "FT_PROTOCOL";
    case FieldKind::None:
        return "FT_NONE";
    case FieldKind::Boolean:
        return "FT_BOOLEAN";
    case FieldKind::Unsigned8:
        return "FT_UINT8";
    case FieldKind::Unsigned16:
        return "FT_UINT16";
    case FieldKind::Unsigned24:
        return "FT_UINT24";
    case FieldKind::Unsigned32:
        return "FT_UINT32";
    case FieldKind::Unsigned64:
        return "FT_UINT64";
    case FieldKind::Signed16:
        return "FT_INT16";
    case FieldKind::String:
        return "FT_STRING";
    case FieldKind::Bytes:
        return "FT_BYTES";
    case FieldKind::IPv4:
        return "FT_IPv4";
    case FieldKind::IPv6:
        return "FT_IPv6";
    case FieldKind::Ether:
        return "FT_ETHER";
    case FieldKind::AbsoluteTime:
        return "FT_ABSOLUTE_TIME";
    case FieldKind::RelativeTime:
        return "FT_RELATIVE_TIME";
    case FieldKind::FrameNumber:
        return "FT_FRAMENUM";
    }
    return "FT_NONE";
}

std::string baseName(const fields::Field& field) {
    if (field.kind == FieldKind::Boolean) {
        // A flag's base is the width of the word it is a bit of: a codec
        // flag's is the 64 bits of a codec mask.
        const std::uint64_t mask = field.bitmask;
        return mask == 0                               ? "0"
               : field.group == fields::Group::Element ? "64"
               : mask <= 0xFF                          ? "8"
               : mask <= 0xFFFF                        ? "16"
                                                       : "64";
    }
    switch (field.base) {
    case FieldBase::Decimal:
        return "BASE_DEC";
    case FieldBase::Hexadecimal:
        return "BASE_HEX";
    case FieldBase::HexadecimalAndDecimal:
        return "BASE_HEX_DEC";
    case FieldBase::Port:
        return "BASE_PT_UDP";
    case FieldBase::None:
        return "";
    }
    return "";
}

void appendJsonObject(std::string& out, const fields::TreeItem& item, int depth);

void indent(std::string& out, int depth) {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
}

// A line and what is under it, as tshark's JSON writes them: the field's
// value under its name, its children under "name_tree"; a header's children
// under its text.
void appendJsonMember(std::string& out, const fields::TreeItem& item, int depth, bool& first) {
    auto member = [&](const std::string& key) {
        out += first ? "\n" : ",\n";
        first = false;
        indent(out, depth);
        recordwriter::appendJsonString(out, key);
        out += ": ";
    };
    if (item.field != nullptr) {
        member(item.field->name);
        recordwriter::appendJsonString(out, item.printed);
        if (!item.children.empty()) {
            member(item.field->name + "_tree");
            appendJsonObject(out, item, depth);
        }
        return;
    }
    member(item.text);
    appendJsonObject(out, item, depth);
}

void appendJsonObject(std::string& out, const fields::TreeItem& item, int depth) {
    out += "{";
    bool first = true;
    for (const fields::TreeItem& child : item.children) {
        appendJsonMember(out, child, depth + 1, first);
    }
    out += "\n";
    indent(out, depth);
    out += "}";
}

} // namespace

std::optional<FieldColumns> FieldColumns::make(const std::vector<std::string>& names,
                                               const FieldOptions& options, std::string& error) {
    FieldColumns columns;
    columns.options_ = options;
    for (const std::string& name : names) {
        const fields::Field* field = fields::findField(name);
        if (field == nullptr) {
            error = "-e: '" + name + "' is not a field (quorvex-dump -G fields lists them)";
            return std::nullopt;
        }
        columns.fields_.push_back(field);
        columns.needs_ |= field->needs;
    }
    return columns;
}

void FieldColumns::appendHeader(std::string& out) const {
    if (!options_.header) {
        return;
    }
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        out += i == 0 ? "" : options_.separator;
        out += fields_[i]->name;
    }
    out.push_back('\n');
}

std::string fieldText(const fields::Field& field, const fields::FieldFrame& frame,
                      const FieldOptions& options) {
    Collect values(field);
    field.read(frame, field, values);
    std::string text;
    // Values may quote the wire: escaped as the packet details are, so that
    // none can act on the terminal or split the line.
    if (values.printed.empty()) {
        return text;
    }
    if (options.occurrence == 'f') {
        safetext::append(text, values.printed.front());
    } else if (options.occurrence == 'l') {
        safetext::append(text, values.printed.back());
    } else {
        for (std::size_t v = 0; v < values.printed.size(); ++v) {
            text += v == 0 ? "" : options.aggregator;
            safetext::append(text, values.printed[v]);
        }
    }
    return text;
}

std::optional<std::int64_t> fieldNumber(const fields::Field& field,
                                        const fields::FieldFrame& frame) {
    class First final : public fields::ValueSink {
    public:
        bool take(const fields::Value& value) override {
            found = value;
            return true;
        }
        std::optional<fields::Value> found;
    } first;
    field.read(frame, field, first);
    if (!first.found || !sortsAsNumber(field.kind)) {
        return std::nullopt;
    }
    switch (field.kind) {
    case FieldKind::Signed16:
        return first.found->signedNumber();
    case FieldKind::AbsoluteTime:
    case FieldKind::RelativeTime:
        return first.found->seconds * 1'000'000'000 + first.found->nanoseconds;
    default:
        return static_cast<std::int64_t>(first.found->number);
    }
}

bool sortsAsNumber(FieldKind kind) {
    switch (kind) {
    case FieldKind::Boolean:
    case FieldKind::Unsigned8:
    case FieldKind::Unsigned16:
    case FieldKind::Unsigned24:
    case FieldKind::Unsigned32:
    case FieldKind::Unsigned64:
    case FieldKind::Signed16:
    case FieldKind::FrameNumber:
    case FieldKind::IPv4:
    case FieldKind::AbsoluteTime:
    case FieldKind::RelativeTime:
        return true;
    default:
        return false;
    }
}

void FieldColumns::appendRow(std::string& out, const fields::FieldFrame& frame) const {
    const char quote = options_.quote == 'd' ? '"' : options_.quote == 's' ? '\'' : '\0';
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        out += i == 0 ? "" : options_.separator;
        const std::string text = fieldText(*fields_[i], frame, options_);
        if (text.empty()) {
            continue;
        }
        if (quote != '\0') {
            out.push_back(quote);
        }
        out += text;
        if (quote != '\0') {
            out.push_back(quote);
        }
    }
    out.push_back('\n');
}

void appendDetails(std::string& out, const fields::TreeItem& tree,
                   std::span<const std::uint8_t> bytes, bool details, bool hexDump) {
    if (details) {
        fields::appendTreeText(out, tree);
    }
    if (hexDump) {
        if (details) {
            out.push_back('\n');
        }
        fields::appendHexDump(out, bytes);
    }
    out.push_back('\n');
}

void appendJsonPacket(std::string& out, const fields::TreeItem& tree, bool first) {
    out += first ? "[\n" : ",\n";
    out += "  {\n    \"_source\": {\n      \"layers\": {";
    bool firstLayer = true;
    for (const fields::TreeItem& protocol : tree.children) {
        out += firstLayer ? "\n" : ",\n";
        firstLayer = false;
        indent(out, 4);
        recordwriter::appendJsonString(out, protocol.field->name);
        out += ": ";
        appendJsonObject(out, protocol, 4);
    }
    out += "\n      }\n    }\n  }";
}

void closeJson(std::string& out, bool any) {
    out += any ? "\n]\n" : "[\n]\n";
}

std::string glossary() {
    std::string out;
    for (const fields::Field& field : fields::allFields()) {
        if (field.kind == FieldKind::Protocol) {
            out += "P\t" + field.label + "\t" + field.name + "\n";
            continue;
        }
        char mask[24];
        std::snprintf(mask, sizeof mask, "0x%" PRIx64, field.bitmask);
        out += "F\t" + field.label + "\t" + field.name + "\t" + kindName(field.kind) + "\t" +
               field.protocol + "\t" + baseName(field) + "\t" + mask + "\t\n";
    }
    return out;
}

} // namespace fieldoutput
