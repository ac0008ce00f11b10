#pragma once

#include "fields/FieldRegistry.h"

#include <string>

// A field's value as text: as `tshark -T fields` prints it, and as the
// packet details show it.
namespace fields {

// "0x0000000a" for a 32-bit hexadecimal field, "1" or "0" for a flag, UTF-8
// text with U+FFFD for bytes that are not, "Jan  1, 2026 10:00:00.000000000
// UTC" for a moment, hexadecimal digits for bytes...
[[nodiscard]] std::string printedValue(const Field& field, const Value& value);

// The value as the packet details show it: with its value name
// ("IAX (6)", "NEW (1)"), a flag as "True"/"False", a protocol's summary.
[[nodiscard]] std::string shownValue(const Field& field, const Value& value);

// The details line: "Source call: 1", with the bits of a field that is part
// of a word drawn before it (".000 0000 0000 0001 = Source call: 1").
[[nodiscard]] std::string detailLine(const Field& field, const Value& value);

// The display filter expression that selects this value of the field
// ("ip.src == 192.0.2.10", "iax2.iax.username == \"alice\""); the field's
// name alone where it has no value to compare (a protocol, an empty element).
[[nodiscard]] std::string filterExpression(const Field& field, const Value& value);
// A text as a quoted string of the filter syntax.
[[nodiscard]] std::string quotedText(std::string_view text);

// Bytes as UTF-8, those that are not valid UTF-8 as U+FFFD.
[[nodiscard]] std::string utf8OrReplacement(std::span<const std::uint8_t> bytes);

} // namespace fields
