#include "common/SafeText.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace safetext {
namespace {

// Unicode's invisible formatting characters (general category Cf): they
// show nothing, and some reorder or hide the text around them.
constexpr std::pair<char32_t, char32_t> formatCharacters[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},
    {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},
    {0x200B, 0x200F},   {0x202A, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
    {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
    {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

constexpr char hexDigits[] = "0123456789ABCDEF";

void appendUnicodeEscape(std::string& out, char32_t codePoint) {
    out += "\\u";
    const int digits = codePoint > 0xFFFF ? 6 : 4;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out.push_back(hexDigits[(codePoint >> shift) & 0xF]);
    }
}

} // namespace

CodePoint decodeAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1, false};
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        lowest = 0x10000;
    } else {
        return {0, 1, true};
    }
    if (at + length > text.size()) {
        return {0, 1, true};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return {0, 1, true};
        }
        value = value << 6 | (byte(i) & 0x3F);
    }
    // Overlong forms could spell a control character past a check of bytes;
    // surrogates and what lies past U+10FFFF are not characters.
    if (value < lowest || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
        return {0, 1, true};
    }
    return {value, length, false};
}

bool printable(char32_t codePoint) {
    if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F)) {
        return false;
    }
    const auto after =
        std::upper_bound(std::begin(formatCharacters), std::end(formatCharacters), codePoint,
                         [](char32_t value, const auto& range) { return value < range.first; });
    return after == std::begin(formatCharacters) || codePoint > std::prev(after)->second;
}

bool mayNeedEscapes(std::string_view text) {
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t highs = 0x8080808080808080ULL;
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + at, 8);
        // Per byte, without carries between bytes: its high bit, or a value
        // below 0x20 or equal to 0x7F or '\\'.
        const std::uint64_t low = word & ~highs;
        const std::uint64_t below = ~((low + ones * (0x80 - 0x20)) | word) & highs;
        const auto equal = [&](unsigned char c) {
            const std::uint64_t x = word ^ (ones * c);
            return ~(((x & ~highs) + ~highs) | x) & highs;
        };
        if (((word & highs) | below | equal(0x7F) | equal('\\')) != 0) {
            return true;
        }
    }
    for (; at < text.size(); ++at) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c < 0x20 || c >= 0x7F || c == '\\') {
            return true;
        }
    }
    return false;
}

void append(std::string& out, std::string_view text, Backslash backslash) {
    if (!mayNeedEscapes(text)) {
        out.append(text);
        return;
    }
    for (std::size_t at = 0; at < text.size();) {
        const CodePoint point = decodeAt(text, at);
        const std::string_view bytes = text.substr(at, point.length);
        at += point.length;
        if (point.invalid) {
            out += "\xEF\xBF\xBD";
            continue;
        }
        switch (point.value) {
        case '\a':
            out += "\\a";
            continue;
        case '\b':
            out += "\\b";
            continue;
        case '\t':
            out += "\\t";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\v':
            out += "\\v";
            continue;
        case '\f':
            out += "\\f";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\\':
            out += backslash == Backslash::Doubled ? "\\\\" : "\\";
            continue;
        default:
            break;
        }
        if (printable(point.value)) {
            out.append(bytes);
        } else if (point.value < 0x80) {
            out.push_back('\\');
            out.push_back(static_cast<char>('0' + ((point.value >> 6) & 7)));
            out.push_back(static_cast<char>('0' + ((point.value >> 3) & 7)));
            out.push_back(static_cast<char>('0' + (point.value & 7)));
        } else {
            appendUnicodeEscape(out, point.value);
        }
    }
}

std::string escaped(std::string_view text, Backslash backslash) {
    std::string out;
    out.reserve(text.size());
    append(out, text, backslash);
    return out;
}

} // namespace safetext
