#pragma once

#include "fields/FieldRegistry.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The fields a display filter can name: every field of the registry (frame,
// eth, vlan, sll, ip, ipv6, udp, iax2, and the frame table's columns: the
// display keys compared as the texts the table shows, quorvex.info and
// quorvex.call).
namespace filter {

// What a field's values are compared as.
enum class FieldType : std::uint8_t { Number, Boolean, Time, IPv4, IPv6, Ether, String, Bytes, None };
[[nodiscard]] const char* typeName(FieldType type); // "a number", "an IPv4 address"...
[[nodiscard]] FieldType typeOf(const fields::Field& field);

using fields::Field;
using fields::FieldContext;
using fields::FieldFrame;
using fields::NeedsCalls;
using fields::NeedsCaptureFile;
using fields::NeedsNothing;
using fields::Value;
using fields::ValueSink;

using fields::findField;
// Every name findField takes, sorted: for completion as an expression is typed.
[[nodiscard]] const std::vector<std::string>& fieldNames();

} // namespace filter
