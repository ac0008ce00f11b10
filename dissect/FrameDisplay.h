#pragma once

#include "dissect/Latin1Text.h"
#include "record/ElementArea.h"
#include "record/FrameFacts.h"
#include "record/PropertyKey.h"
#include "record/PropertyValue.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The display values of a frame, made from its facts when they are shown or
// printed: the same texts the views and quorvex-dump have always shown.
namespace framedisplay {

// The address a frame shows until decoding replaces its map.
inline constexpr const char* placeholderAddress = "0.0.0.0";

// The twelve display keys (source, destination, isretry, type, subclass,
// timestamp, scall, dcall, time, captured, sourcePort, destinationPort): the
// frame table's columns and the TSV's, in that order.
[[nodiscard]] std::span<const PropertyKey> displayKeys();
// The keys a frame with these facts shows, in the order of its map.
[[nodiscard]] std::span<const PropertyKey> keysOf(const FrameFacts& facts);

// The value shown under `key`; nothing where the frame does not show that
// key. `informationElements` is a list of records: see elementOf. `ipv6`
// holds the addresses of an IPv6 packet.
[[nodiscard]] std::optional<PropertyValue> valueOf(const FrameFacts& facts, PropertyKey key,
                                                   const Ipv6Addresses* ipv6 = nullptr);

// The text of that value at the end of `out`, written without making the
// value (an element list has none); false, writing nothing, where the frame
// does not show the key.
bool appendValueText(std::string& out, const FrameFacts& facts, PropertyKey key,
                     const Ipv6Addresses* ipv6 = nullptr);

// The capture time as local time, ISO 8601 with microseconds:
// 2026-12-08T12:31:41.123456.
void appendCapturedText(std::string& out, const FrameFacts& facts);

// How the window shows the capture time (the `captured` key's text is always
// DateAndTime).
enum class TimeFormat { DateAndTime, TimeOfDay, SinceFirst, SincePrevious };
// The capture time in `format`: "2026-12-08T12:31:41.123456", "12:31:41.123456",
// or the seconds since `first` or `previous` ("1.250000"; "0.000000" without one).
[[nodiscard]] std::string capturedText(const FrameFacts& facts, TimeFormat format,
                                       const FrameFacts* first, const FrameFacts* previous);

// An IPv6 address in its standard compressed text (RFC 5952): 2001:db8::1.
[[nodiscard]] std::string ipv6Text(const std::array<std::uint8_t, 16>& address);

// The name and value one information element shows, read from its area.
struct ElementDisplay {
    const char* name;
    PropertyValue value;
};
[[nodiscard]] ElementDisplay elementOf(const ElementArea& area, const ElementFact& element);

// A record for each element of the area, in packet order.
[[nodiscard]] RecordList elementRecords(const ElementArea& area);
// Whether a frame of these facts shows `informationElements`: IAX control
// frames (their elements), trunk frames (an entry per call) and video mini
// frames (their marker bit).
[[nodiscard]] bool hasElementList(const FrameFacts& facts);
// The records of that list.
[[nodiscard]] RecordList elementRecordsOf(const FrameFacts& facts, const ElementArea& area,
                                          const std::vector<TrunkEntry>& trunk);

// A voice frame's codec name, or nullptr where the subclass names none.
[[nodiscard]] const char* audioFormatName(std::uint8_t subclass);

} // namespace framedisplay
