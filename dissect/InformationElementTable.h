#pragma once

#include <array>
#include <cstdint>

// How each information element identifier is named and shown.
namespace iaxelements {

enum class ValueKind : std::uint8_t {
    Unrecognised,
    String,     // the declared value bytes as 8-bit text
    Unsigned8,  // first 1, 2 or 4 value bytes, network order, in decimal,
    Unsigned16, // whatever the declared length
    Unsigned32,
    Deprecated, // fixed text "(deprecated)"; value bytes not read
    Empty,      // empty value; value bytes not read
    Address,    // value bytes 4 to 7 as dotted decimal (a socket address)
    PackedDate, // 32-bit packed date and time
};

struct ElementKind {
    const char* name;
    ValueKind kind;
};

namespace detail {
constexpr std::array<ElementKind, 256> makeTable() {
    std::array<ElementKind, 256> table{};
    for (auto& entry : table) {
        entry = {"Unknown Info Element", ValueKind::Unrecognised};
    }
    using enum ValueKind;
    table[1] = {"Called Number", String};
    table[2] = {"Calling Number", String};
    table[3] = {"Calling ANI", String};
    table[4] = {"Calling Name", String};
    table[5] = {"Called Context", String};
    table[6] = {"Username", String};
    table[7] = {"Password", String};
    table[8] = {"Capability", Unsigned32};
    table[9] = {"Format", Unsigned32};
    table[10] = {"Language", String};
    table[11] = {"Version", Unsigned16};
    table[12] = {"ADSI CPE", Unsigned16};
    table[13] = {"DNID", Deprecated};
    table[14] = {"Authentication Model", Unsigned16};
    table[15] = {"Challenge", String};
    table[16] = {"MD5 Result", String};
    table[17] = {"RSA Result", String};
    table[18] = {"Aparent Address", Address};
    table[19] = {"Refresh Interval", Unsigned16};
    table[20] = {"DialPlan Entry Status", Unsigned16};
    table[21] = {"Call Number", Unsigned16};
    table[22] = {"Cause", String};
    table[23] = {"Unknown", Unsigned8};
    table[24] = {"MWI", Unsigned16};
    table[25] = {"Autoanswer", Empty};
    table[26] = {"Request MOH", Empty};
    table[27] = {"Transfer Id", Unsigned32};
    table[28] = {"RDNIS", String};
    table[31] = {"Datetime", PackedDate};
    table[32] = {"Device Type", String};
    table[33] = {"Service Identifier", String};
    table[34] = {"Firmware Version", Unsigned16};
    table[38] = {"Calling Presentation", Unsigned8};
    table[39] = {"Calling Type of Number", Unsigned8};
    table[40] = {"Calling Transit Network Select", Unsigned16};
    table[41] = {"Supported Sampling Rates", Unsigned16};
    table[42] = {"Cause Code", Unsigned8};
    return table;
}
} // namespace detail

inline constexpr std::array<ElementKind, 256> elementTable = detail::makeTable();

} // namespace iaxelements
