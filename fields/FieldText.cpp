#include "fields/FieldText.h"

#include "record/PropertyValue.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <ctime>

namespace fields {
namespace {

int hexDigits(FieldKind kind) {
    switch (kind) {
    case FieldKind::Unsigned8:
        return 2;
    case FieldKind::Unsigned16:
    case FieldKind::Signed16:
        return 4;
    case FieldKind::Unsigned24:
        return 6;
    case FieldKind::Unsigned64:
        return 16;
    default:
        return 8;
    }
}

std::string absoluteTime(const Value& value) {
    const std::time_t seconds = static_cast<std::time_t>(value.seconds);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char date[64];
    std::strftime(date, sizeof date, "%b %e, %Y %H:%M:%S", &parts);
    char zone[16];
    std::strftime(zone, sizeof zone, "%Z", &parts);
    char text[128];
    std::snprintf(text, sizeof text, "%s.%09d %s", date, value.nanoseconds, zone);
    return text;
}

std::string seconds(const Value& value) {
    const bool negative = value.seconds < 0 || value.nanoseconds < 0;
    const auto whole =
        static_cast<unsigned long long>(value.seconds < 0 ? -value.seconds : value.seconds);
    const int fraction = value.nanoseconds < 0 ? -value.nanoseconds : value.nanoseconds;
    char text[48];
    std::snprintf(text, sizeof text, "%s%llu.%09d", negative ? "-" : "", whole, fraction);
    return text;
}

std::string addressText(const Value& value) {
    if (value.kind == FieldKind::IPv4) {
        // The library's IPv4 form goes through printf; this is its text, faster.
        char dotted[16];
        return std::string(dotted,
                           writeDottedDecimal(dotted, static_cast<std::uint32_t>(value.number)));
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (value.kind == FieldKind::IPv6) {
        inet_ntop(AF_INET6, value.address.data(), text, sizeof text);
    } else {
        std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", value.address[0],
                      value.address[1], value.address[2], value.address[3], value.address[4],
                      value.address[5]);
    }
    return text;
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0F]);
    }
    return text;
}

std::string numberText(const Field& field, std::uint64_t number, bool hex) {
    // By hand rather than printf: a column of numbers is printed per packet.
    char text[32];
    char* end = text;
    if (field.kind == FieldKind::Signed16) {
        end = std::to_chars(text, text + sizeof text, static_cast<std::int64_t>(number)).ptr;
    } else if (hex) {
        char digits[20];
        char* digitsEnd = std::to_chars(digits, digits + sizeof digits, number, 16).ptr;
        const auto length = static_cast<int>(digitsEnd - digits);
        *end++ = '0';
        *end++ = 'x';
        for (int pad = hexDigits(field.kind) - length; pad > 0; --pad) {
            *end++ = '0';
        }
        end = std::copy(digits, digitsEnd, end);
    } else {
        end = std::to_chars(text, text + sizeof text, number).ptr;
    }
    return std::string(text, end);
}

} // namespace

std::string utf8OrReplacement(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::uint8_t lead = bytes[i];
        const std::size_t length = lead < 0x80                           ? 1
                                   : (lead >> 5) == 0x6 && lead >= 0xC2  ? 2
                                   : (lead >> 4) == 0xE                  ? 3
                                   : (lead >> 3) == 0x1E && lead <= 0xF4 ? 4
                                                                         : 0;
        bool valid = length > 0 && i + length <= bytes.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (bytes[i + k] & 0xC0) == 0x80;
        }
        if (!valid) {
            text += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        text.append(reinterpret_cast<const char*>(bytes.data() + i), length);
        i += length;
    }
    return text;
}

std::string printedValue(const Field& field, const Value& value) {
    switch (field.kind) {
    case FieldKind::Protocol:
        return value.text.empty() ? field.name : std::string(value.text);
    case FieldKind::None:
        return "1"; // present
    case FieldKind::Boolean:
        return value.number != 0 ? "1" : "0";
    case FieldKind::Unsigned64:
        return numberText(field, value.number, false);
    case FieldKind::Unsigned8:
    case FieldKind::Unsigned16:
    case FieldKind::Unsigned24:
    case FieldKind::Unsigned32:
    case FieldKind::Signed16:
    case FieldKind::FrameNumber:
        return numberText(field, value.number,
                          field.base == FieldBase::Hexadecimal ||
                              field.base == FieldBase::HexadecimalAndDecimal);
    case FieldKind::String:
        return value.bytes.empty() ? std::string(value.text) : utf8OrReplacement(value.bytes);
    case FieldKind::Bytes:
        return hexBytes(value.bytes);
    case FieldKind::IPv4:
    case FieldKind::IPv6:
    case FieldKind::Ether:
        return addressText(value);
    case FieldKind::AbsoluteTime:
        return absoluteTime(value);
    case FieldKind::RelativeTime:
        return seconds(value);
    }
    return {};
}

std::string shownValue(const Field& field, const Value& value) {
    switch (field.kind) {
    case FieldKind::Protocol:
        return value.text.empty() ? field.label : std::string(value.text);
    case FieldKind::Boolean:
        return value.number != 0 ? "True" : "False";
    case FieldKind::String:
        return std::string(value.text);
    case FieldKind::RelativeTime:
        return seconds(value) + " seconds";
    case FieldKind::Unsigned8:
    case FieldKind::Unsigned16:
    case FieldKind::Unsigned24:
    case FieldKind::Unsigned32:
    case FieldKind::Unsigned64:
    case FieldKind::Signed16:
    case FieldKind::FrameNumber: {
        std::string number = numberText(field, value.number,
                                        field.base == FieldBase::Hexadecimal ||
                                            field.base == FieldBase::HexadecimalAndDecimal);
        if (field.base == FieldBase::HexadecimalAndDecimal) {
            number += " (" + numberText(field, value.number, false) + ")";
        }
        if (const char* name = valueName(field, value.number)) {
            return std::string(name) + " (" + number + ")";
        }
        return number;
    }
    default:
        return printedValue(field, value);
    }
}

std::string detailLine(const Field& field, const Value& value) {
    std::string line;
    if (field.bitmask != 0 && value.length > 0 && value.length <= 8 &&
        field.kind != FieldKind::Unsigned64) {
        // The word's bits, those of the field shown, the others as dots.
        const int bits = value.length * 8;
        int shift = 0;
        while (((field.bitmask >> shift) & 1) == 0) {
            ++shift;
        }
        const std::uint64_t raw = value.number << shift;
        for (int bit = bits - 1; bit >= 0; --bit) {
            const bool inMask = ((field.bitmask >> bit) & 1) != 0;
            line.push_back(!inMask ? '.' : ((raw >> bit) & 1) != 0 ? '1' : '0');
            if (bit % 4 == 0 && bit > 0) {
                line.push_back(' ');
            }
        }
        line += " = ";
    }
    line += field.label + ": " + shownValue(field, value);
    return line;
}

} // namespace fields

namespace fields {

std::string quotedText(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string filterExpression(const Field& field, const Value& value) {
    const std::string& name = field.name;
    switch (field.kind) {
    case FieldKind::Protocol:
    case FieldKind::None:
        return name;
    case FieldKind::Unsigned8:
    case FieldKind::Unsigned16:
    case FieldKind::Unsigned24:
    case FieldKind::Unsigned32:
    case FieldKind::Unsigned64:
    case FieldKind::FrameNumber:
        return name + " == " + std::to_string(value.number);
    case FieldKind::Signed16:
        return name + " == " + std::to_string(value.signedNumber());
    case FieldKind::Boolean:
        return name + " == " + (value.number != 0 ? "1" : "0");
    case FieldKind::RelativeTime:
        return name + " == " + printedValue(field, value);
    case FieldKind::AbsoluteTime: {
        // A moment as a date in local time, to the nanosecond.
        const std::time_t seconds = static_cast<std::time_t>(value.seconds);
        std::tm parts{};
        localtime_r(&seconds, &parts);
        char date[48];
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &parts);
        char text[96];
        std::snprintf(text, sizeof text, "%s.%09d", date, value.nanoseconds);
        return name + " == " + quotedText(text);
    }
    case FieldKind::String:
        return name + " == " + quotedText(value.text);
    case FieldKind::Bytes: {
        std::string hex;
        for (const std::uint8_t byte : value.bytes) {
            char pair[4];
            std::snprintf(pair, sizeof pair, hex.empty() ? "%02x" : ":%02x", byte);
            hex += pair;
        }
        return hex.empty() ? name : name + " == " + hex;
    }
    case FieldKind::IPv4:
    case FieldKind::IPv6:
    case FieldKind::Ether:
        return name + " == " + printedValue(field, value);
    }
    return name;
}

} // namespace fields
