#include "app/RecordWriter.h"

#include "dissect/KvIAXInformationElement.h"
#include "record/PropertyRecord.h"

#include <algorithm>
#include <array>

namespace recordwriter {
namespace {

const std::array<PropertyKey, 12> tsvKeys = {
    PropertyKey::source,   PropertyKey::destination, PropertyKey::isretry,
    PropertyKey::type,     PropertyKey::subclass,    PropertyKey::timestamp,
    PropertyKey::scall,    PropertyKey::dcall,       PropertyKey::time,
    PropertyKey::captured, PropertyKey::sourcePort,  PropertyKey::destinationPort};

// The backslash escapes JSON and the TSV output share: tab, line ends and the
// backslash itself. False for any other character.
bool appendCommonEscape(std::string& out, char c) {
    switch (c) {
    case '\t':
        out += "\\t";
        return true;
    case '\n':
        out += "\\n";
        return true;
    case '\r':
        out += "\\r";
        return true;
    case '\\':
        out += "\\\\";
        return true;
    default:
        return false;
    }
}

void appendJsonMap(std::string& out, const PropertyMap& map, std::string& scratch);

void appendJsonValue(std::string& out, const PropertyValue& value, std::string& scratch) {
    if (!value.isElements()) {
        scratch.clear();
        value.appendText(scratch);
        appendJsonString(out, scratch);
        return;
    }
    out.push_back('[');
    bool first = true;
    for (const auto& element : value.elements()) {
        if (!first) {
            out.push_back(',');
        }
        first = false;
        appendJsonMap(out, element->properties(), scratch);
    }
    out.push_back(']');
}

void appendJsonMap(std::string& out, const PropertyMap& map, std::string& scratch) {
    out.push_back('{');
    bool first = true;
    for (const auto& entry : map) {
        if (!first) {
            out.push_back(',');
        }
        first = false;
        appendJsonString(out, entry.key().name());
        out.push_back(':');
        appendJsonValue(out, entry.value(), scratch);
    }
    out.push_back('}');
}

} // namespace

void appendJsonString(std::string& out, std::string_view text) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    out.push_back('"');
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"') {
            out += "\\\"";
        } else if (appendCommonEscape(out, c)) {
            continue;
        } else if (byte < 0x20) {
            out += "\\u00";
            out.push_back(hexDigits[byte >> 4]);
            out.push_back(hexDigits[byte & 0x0F]);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

void appendTsvField(std::string& out, std::string_view text) {
    for (char c : text) {
        if (!appendCommonEscape(out, c)) {
            out.push_back(c);
        }
    }
}

void appendJson(std::string& out, const KvIAXFrame& frame) {
    // Made from the frame's facts, so that printing keeps nothing per frame.
    std::string scratch;
    out.push_back('{');
    bool first = true;
    frame.forEachProperty([&](PropertyKey key, const PropertyValue& value) {
        if (!first) {
            out.push_back(',');
        }
        first = false;
        appendJsonString(out, key.name());
        out.push_back(':');
        appendJsonValue(out, value, scratch);
    });
    out.push_back('}');
    out.push_back('\n');
}

std::string tsvHeader() {
    std::string header;
    for (const PropertyKey key : tsvKeys) {
        if (!header.empty()) {
            header.push_back('\t');
        }
        header.append(key.name());
    }
    header.push_back('\n');
    return header;
}

void appendTsv(std::string& out, const KvIAXFrame& frame) {
    bool first = true;
    for (const PropertyKey key : tsvKeys) {
        if (!first) {
            out.push_back('\t');
        }
        first = false;
        // Written in place; the rare value that needs escapes is written again.
        const std::size_t start = out.size();
        frame.appendText(out, key);
        if (std::any_of(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(),
                        [](char c) { return c == '\t' || c == '\n' || c == '\r' || c == '\\'; })) {
            const std::string raw = out.substr(start);
            out.resize(start);
            appendTsvField(out, raw);
        }
    }
    out.push_back('\n');
}

} // namespace recordwriter
