#pragma once

#include "record/FieldKind.h"

#include <array>
#include <cstdint>

// Every information element of RFC 5456 in one place: how the frame records
// name and show it, and the display filter field that holds its value, with
// that field's label, kind and base. The elements' records, the packet
// details, the display filters and the printed fields all read this table,
// so that adding an element is adding its row.
namespace iaxelements {

// How a frame record shows the value.
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

// How the value's field is read where a plain number or text does not say it.
enum class FieldForm : std::uint8_t {
    Plain,
    SocketAddress, // family (sender's byte order), port, IPv4 address: three fields
    PackedDate,    // the raw 32 bits and the moment they pack: two fields
    CodecMask,     // a bit mask of codecs, with a flag per codec
    CauseCode,     // a Q.931 cause, named
    DataFormat,    // a data call's format, named
};

struct ElementKind {
    const char* name;     // the record's parameter text
    ValueKind kind;       // how the record shows it
    const char* field;    // the filter field after "iax2.iax.", nullptr where there is none
    const char* label;    // the field's label in the packet details
    FieldKind fieldKind;  // the field's kind and base
    FieldBase base;
    FieldForm form = FieldForm::Plain;
};

namespace detail {
constexpr std::array<ElementKind, 256> makeTable() {
    std::array<ElementKind, 256> table{};
    for (auto& entry : table) {
        entry = {"Unknown Info Element", ValueKind::Unrecognised, nullptr, nullptr, FieldKind::Bytes,
                 FieldBase::None};
    }
    using enum ValueKind;
    using K = FieldKind;
    constexpr auto Hex = FieldBase::Hexadecimal;
    constexpr auto Dec = FieldBase::Decimal;
    constexpr auto Text = FieldBase::None;
    // clang-format off
    table[1]  = {"Called Number", String, "called_number", "Number/extension being called", K::String, Text};
    table[2]  = {"Calling Number", String, "calling_number", "Calling number", K::String, Text};
    table[3]  = {"Calling ANI", String, "calling_ani", "Calling number ANI for billing", K::String, Text};
    table[4]  = {"Calling Name", String, "calling_name", "Name of caller", K::String, Text};
    table[5]  = {"Called Context", String, "called_context", "Context for number", K::String, Text};
    table[6]  = {"Username", String, "username", "Username (peer or user) for authentication", K::String, Text};
    table[7]  = {"Password", String, "password", "Password for authentication", K::String, Text};
    table[8]  = {"Capability", Unsigned32, "capability", "Actual codec capability", K::Unsigned32, Hex, FieldForm::CodecMask};
    table[9]  = {"Format", Unsigned32, "format", "Desired codec format", K::Unsigned64, Hex, FieldForm::CodecMask};
    table[10] = {"Language", String, "language", "Desired language", K::String, Text};
    table[11] = {"Version", Unsigned16, "version", "Protocol version", K::Unsigned16, Hex};
    table[12] = {"ADSI CPE", Unsigned16, "cpe_adsi", "CPE ADSI capability", K::Unsigned16, Hex};
    table[13] = {"DNID", Deprecated, "dnid", "Originally dialed DNID", K::String, Text};
    table[14] = {"Authentication Model", Unsigned16, "auth.methods", "Authentication method(s)", K::Unsigned16, Hex};
    table[15] = {"Challenge", String, "auth.challenge", "Challenge data for MD5/RSA", K::String, Text};
    table[16] = {"MD5 Result", String, "auth.md5", "MD5 challenge result", K::String, Text};
    table[17] = {"RSA Result", String, "auth.rsa", "RSA challenge result", K::String, Text};
    table[18] = {"Aparent Address", Address, "app_addr.sinaddr", "Address", K::IPv4, Text, FieldForm::SocketAddress};
    table[19] = {"Refresh Interval", Unsigned16, "refresh", "When to refresh registration", K::Signed16, Dec};
    table[20] = {"DialPlan Entry Status", Unsigned16, "dialplan_status", "Dialplan status", K::Unsigned16, Hex};
    table[21] = {"Call Number", Unsigned16, "call_no", "Call number of peer", K::Unsigned16, Dec};
    table[22] = {"Cause", String, "cause", "Cause", K::String, Text};
    table[23] = {"Unknown", Unsigned8, "iax_unknown", "Unknown IAX command", K::Bytes, Text};
    table[24] = {"MWI", Unsigned16, "msg_count", "How many messages waiting", K::Signed16, Dec};
    table[25] = {"Autoanswer", Empty, "autoanswer", "Request auto-answering", K::None, Text};
    table[26] = {"Request MOH", Empty, "moh", "Request musiconhold with QUELCH", K::None, Text};
    table[27] = {"Transfer Id", Unsigned32, "transferid", "Transfer Request Identifier", K::Unsigned32, Hex};
    table[28] = {"RDNIS", String, "rdnis", "Referring DNIS", K::String, Text};
    table[31] = {"Datetime", PackedDate, "datetime.raw", "Date/Time", K::Unsigned32, Dec, FieldForm::PackedDate};
    table[32] = {"Device Type", String, "devicetype", "Device type", K::String, Text};
    table[33] = {"Service Identifier", String, "serviceident", "Service identifier", K::String, Text};
    table[34] = {"Firmware Version", Unsigned16, "firmwarever", "Firmware version", K::Unsigned16, Hex};
    table[38] = {"Calling Presentation", Unsigned8, "callingpres", "Calling presentation", K::Unsigned8, Hex};
    table[39] = {"Calling Type of Number", Unsigned8, "callington", "Calling type of number", K::Unsigned8, Hex};
    table[40] = {"Calling Transit Network Select", Unsigned16, "callingtns", "Calling transit network select", K::Unsigned16, Hex};
    table[41] = {"Supported Sampling Rates", Unsigned16, "samplingrate", "Supported sampling rates", K::Unsigned16, Hex};
    table[42] = {"Cause Code", Unsigned8, "causecode", "Hangup cause", K::Unsigned8, Hex, FieldForm::CauseCode};
    // Elements the frame records do not name: their records show the
    // unrecognised element, their fields read them all the same.
    table[29] = {"Unknown Info Element", Unrecognised, "provisioning", "Provisioning info", K::String, Text};
    table[30] = {"Unknown Info Element", Unrecognised, "aesprovisioning", "AES Provisioning info", K::String, Text};
    table[35] = {"Unknown Info Element", Unrecognised, "fwblockdesc", "Firmware block description", K::Unsigned32, Hex};
    table[36] = {"Unknown Info Element", Unrecognised, "fwblockdata", "Firmware block of data", K::String, Text};
    table[37] = {"Unknown Info Element", Unrecognised, "provver", "Provisioning version", K::Unsigned32, Hex};
    table[43] = {"Unknown Info Element", Unrecognised, "encryption", "Encryption format", K::Unsigned16, Hex};
    table[44] = {"Unknown Info Element", Unrecognised, "enckey", "Encryption key", K::String, Text};
    table[45] = {"Unknown Info Element", Unrecognised, "codecprefs", "Codec negotiation", K::String, Text};
    table[46] = {"Unknown Info Element", Unrecognised, "rrjitter", "Received jitter (as in RFC1889)", K::Unsigned32, Hex};
    table[47] = {"Unknown Info Element", Unrecognised, "rrloss", "Received loss (high byte loss pct, low 24 bits loss count, as in rfc1889)", K::Unsigned32, Hex};
    table[48] = {"Unknown Info Element", Unrecognised, "rrpkts", "Total frames received", K::Unsigned32, Hex};
    table[49] = {"Unknown Info Element", Unrecognised, "rrdelay", "Max playout delay in ms for received frames", K::Unsigned16, Hex};
    table[50] = {"Unknown Info Element", Unrecognised, "rrdropped", "Dropped frames (presumably by jitterbuffer)", K::Unsigned32, Hex};
    table[51] = {"Unknown Info Element", Unrecognised, "rrooo", "Frame received out of order", K::Unsigned32, Hex};
    table[55] = {"Unknown Info Element", Unrecognised, "capability2", "64-bit codec capability", K::Unsigned64, Hex, FieldForm::CodecMask};
    table[56] = {"Unknown Info Element", Unrecognised, "format2", "64-bit codec format", K::Unsigned64, Hex, FieldForm::CodecMask};
    table[255] = {"Unknown Info Element", Unrecognised, "dataformat", "Data call format", K::Unsigned32, Hex, FieldForm::DataFormat};
    // clang-format on
    return table;
}
} // namespace detail

inline constexpr std::array<ElementKind, 256> elementTable = detail::makeTable();

} // namespace iaxelements
