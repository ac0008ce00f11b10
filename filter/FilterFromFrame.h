#pragma once

#include "fields/FieldRegistry.h"

#include <optional>
#include <string>
#include <string_view>

// The expressions "Apply as Filter" makes of what the user points at: a
// field of the packet details, a frame table cell (by its column's key), or
// an element of a frame. They use the registry's field where there is one
// (ip.src == 192.0.2.10, iax2.iax.subclass == 1), and the display key
// compared as text otherwise (captured == "..."). Each selects at least the
// frame it was made from.
namespace filter {

// "field == value", written as the filter syntax reads it back; the field
// alone where it has no value to compare (a protocol, an empty element).
[[nodiscard]] std::string expressionFor(const fields::Field& field, const fields::Value& value);

[[nodiscard]] std::optional<std::string> expressionForCell(const KvIAXFrame& frame,
                                                           std::string_view key);
// `row` is the element's row in the element table.
[[nodiscard]] std::optional<std::string> expressionForElement(const KvIAXFrame& frame,
                                                              std::size_t row);
// A text as a quoted string of the filter syntax.
[[nodiscard]] std::string quoted(std::string_view text);

} // namespace filter
