#include "app/RecordWriter.h"

#include "common/SafeText.h"

#include "dissect/FrameDisplay.h"
#include "dissect/KvIAXInformationElement.h"
#include "record/PropertyRecord.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace recordwriter {
namespace {

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
    // The tail's missing bytes are spaces, which nothing here counts.
    std::uint64_t tail = 0x2020202020202020ULL;
    std::memcpy(&tail, text.data() + at, text.size() - at);
    return total + count(tail);
}

std::size_t tabCount(std::string_view text) {
    return countWords(text, [](std::uint64_t word) {
        // One bit a byte, summed into the top byte by the multiplication.
        return static_cast<std::size_t>(((bytesEqualTo(word, '\t') >> 7) * 0x0101010101010101ULL) >>
                                        56);
    });
}

// Bytes that may need an escape, tabs among them: below 0x20, DEL, a high
// bit, or a backslash (see safetext::mayNeedEscapes).
std::size_t specialCount(std::string_view text) {
    return countWords(text, [](std::uint64_t word) {
        constexpr std::uint64_t highs = 0x8080808080808080ULL;
        const std::uint64_t below =
            ~(((word & ~highs) + 0x0101010101010101ULL * (0x80 - 0x20)) | word) & highs;
        const std::uint64_t special =
            (word & highs) | below | bytesEqualTo(word, 0x7F) | bytesEqualTo(word, '\\');
        return static_cast<std::size_t>((((special >> 7) * 0x0101010101010101ULL) >> 56) & 0xFF);
    });
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
    const auto unicodeEscape = [&](char32_t unit) {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) {
            out.push_back(hexDigits[(unit >> shift) & 0xF]);
        }
    };
    out.push_back('"');
    for (std::size_t at = 0; at < text.size();) {
        const char c = text[at];
        if (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F) {
            if (c == '"' || c == '\\') {
                out.push_back('\\');
            }
            out.push_back(c);
            ++at;
            continue;
        }
        // Valid JSON is UTF-8, and what a terminal would take as a control
        // goes as an escape, as every printer's text does (safetext).
        const safetext::CodePoint point = safetext::decodeAt(text, at);
        if (point.invalid) {
            unicodeEscape(0xFFFD);
        } else if (c == '\t' || c == '\n' || c == '\r') {
            out += c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
        } else if (safetext::printable(point.value)) {
            out.append(text.substr(at, point.length));
        } else if (point.value > 0xFFFF) {
            unicodeEscape(0xD800 + ((point.value - 0x10000) >> 10));
            unicodeEscape(0xDC00 + ((point.value - 0x10000) & 0x3FF));
        } else {
            unicodeEscape(point.value);
        }
        at += point.length;
    }
    out.push_back('"');
}

void appendTsvField(std::string& out, std::string_view text) {
    safetext::append(out, text, safetext::Backslash::Doubled);
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
    for (const PropertyKey key : framedisplay::displayKeys()) {
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
    // when the separators are its only tabs and it holds nothing else that
    // may (a control, DEL, a byte past ASCII, a backslash). The rare line
    // that does is written again field by field.
    const std::span<const PropertyKey> keys = framedisplay::displayKeys();
    const std::size_t lineStart = out.size();
    for (std::size_t column = 0; column < keys.size(); ++column) {
        if (column != 0) {
            out.push_back('\t');
        }
        frame.appendText(out, keys[column]);
    }
    const std::string_view line(out.data() + lineStart, out.size() - lineStart);
    if (tabCount(line) != keys.size() - 1 || specialCount(line) != keys.size() - 1) {
        out.resize(lineStart);
        for (std::size_t column = 0; column < keys.size(); ++column) {
            if (column != 0) {
                out.push_back('\t');
            }
            appendTsvField(out, frame.text(keys[column]));
        }
    }
    out.push_back('\n');
}

} // namespace recordwriter
