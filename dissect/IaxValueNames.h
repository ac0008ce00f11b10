#pragma once

#include "record/FieldKind.h"

#include <span>

// The value names of the IAX2 fields, one table per field: the name RFC 5456
// and packet analyzers give each number (the fields' values, the Info column,
// the ladder), and beside it the text the frame table, the records and the
// calls show (the display keys' texts, which files and scripts rely on).
namespace iaxvalues {

[[nodiscard]] std::span<const ValueName> packetTypes();
[[nodiscard]] std::span<const ValueName> frameTypes();
[[nodiscard]] std::span<const ValueName> iaxSubclasses();
[[nodiscard]] std::span<const ValueName> controlSubclasses();
[[nodiscard]] std::span<const ValueName> codecs();       // by bit mask
[[nodiscard]] std::span<const ValueName> elementNames(); // iax2.ie_id
[[nodiscard]] std::span<const ValueName> causeCodes();
[[nodiscard]] std::span<const ValueName> dataFormats();
[[nodiscard]] std::span<const ValueName> modemSubclasses();
[[nodiscard]] std::span<const ValueName> htmlSubclasses();
[[nodiscard]] std::span<const ValueName> textSubclasses();

// A codec flag of the capability elements (iax2.cap.*): its field name
// after "iax2.cap.", and its mask.
struct CodecFlag {
    const char* field;
    std::uint64_t mask;
};
[[nodiscard]] std::span<const CodecFlag> codecFlags();

// The name of the number in the names, or nullptr.
[[nodiscard]] const char* nameOf(std::span<const ValueName> names, std::uint64_t value);
// The text shown for the number, or nullptr where the number itself is shown.
[[nodiscard]] const char* shownName(std::span<const ValueName> names, std::uint64_t value);
// A voice codec's shown name by its bit number (bit 0 is mask 1), or nullptr.
[[nodiscard]] const char* shownCodecName(unsigned bit);

} // namespace iaxvalues
