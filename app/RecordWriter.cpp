#include "app/RecordWriter.h"

#include "dissect/KvIAXInformationElement.h"
#include "record/PropertyRecord.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace recordwriter {
namespace {

const std::array<PropertyKey, 12> tsvKeys = {
    PropertyKey::source,   PropertyKey::destination, PropertyKey::isretry,
    PropertyKey::type,     PropertyKey::subclass,    PropertyKey::timestamp,
    PropertyKey::scall,    PropertyKey::dcall,       PropertyKey::time,
    PropertyKey::captured, PropertyKey::sourcePort,  PropertyKey::destinationPort};

// Eight characters at a time: a byte of 0x80 where the word's byte equals
// `c`, exactly (no borrow runs between bytes).
std::uint64_t bytesEqualTo(std::uint64_t word, unsigned char c) {
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
    const std::uint64_t differs = word ^ (0x0101010101010101ULL * c);
    return ~(((differs & low7) + low7) | differs | low7);
}

template <typename Count> std::size_t countWords(std::string_view text, Count count) {
    std::size_t total = 0;
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + at, sizeof word);
        total += count(word);
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, text.data() + at, text.size() - at);
    // The tail's missing bytes are zeros, which nothing here counts.
    return total + count(tail);
}

std::size_t tabCount(std::string_view text) {
    return countWords(text, [](std::uint64_t word) {
        // One bit a byte, summed into the top byte by the multiplication.
        return static_cast<std::size_t>(((bytesEqualTo(word, '\t') >> 7) * 0x0101010101010101ULL) >>
                                        56);
    });
}

bool hasLineEndOrBackslash(std::string_view text) {
    return countWords(text, [](std::uint64_t word) {
               return static_cast<std::size_t>((bytesEqualTo(word, '\n') |
                                                bytesEqualTo(word, '\r') |
                                                bytesEqualTo(word, '\\')) != 0);
           }) != 0;
}

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
    // The line is written in place and looked over once: it needs no escape
    // when its only tabs are the separators and it holds no line end or
    // backslash. The rare line that does is written again field by field.
    const std::size_t lineStart = out.size();
    for (std::size_t column = 0; column < tsvKeys.size(); ++column) {
        if (column != 0) {
            out.push_back('\t');
        }
        frame.appendText(out, tsvKeys[column]);
    }
    const std::string_view line(out.data() + lineStart, out.size() - lineStart);
    if (tabCount(line) != tsvKeys.size() - 1 || hasLineEndOrBackslash(line)) {
        out.resize(lineStart);
        for (std::size_t column = 0; column < tsvKeys.size(); ++column) {
            if (column != 0) {
                out.push_back('\t');
            }
            appendTsvField(out, frame.text(tsvKeys[column]));
        }
    }
    out.push_back('\n');
}

} // namespace recordwriter
