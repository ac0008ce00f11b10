#pragma once

#include "fields/FieldFrame.h"
#include "fields/FieldValue.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Every field Quorvex decodes, as one table in the style of Wireshark's field
// registrations: filter name, label, kind, base, bit mask, value names, and
// how its values are read from a frame's facts and bytes. The packet details,
// the display filters, "Apply as Filter", Find and `quorvex-dump -T fields`
// read this table. The frame table's columns are fields of it too (see
// ColumnFields.h): their texts are made by dissect's FrameDisplay and
// FrameSummary from the same facts and the same value-name tables.
namespace fields {

// What a field reads beyond the frame's facts.
enum Needs : std::uint8_t { NeedsNothing = 0, NeedsCalls = 1, NeedsCaptureFile = 2 };

// How a field shows in the packet details.
enum Show : std::uint8_t {
    Shown,     // a line of its own
    Hidden,    // for filters only (ip.addr, udp.port...), as in Wireshark
    Generated, // worked out, not read from the packet: in [brackets]
};

// The groups a protocol's values may fall into, each occurrence a subtree
// of the packet details: an information element, a trunk entry, a VLAN tag.
enum class Group : std::uint8_t { None, Element, TrunkEntry, Tag };

struct Field;
using Reader = void (*)(const FieldFrame& frame, const Field& field, ValueSink& sink);

struct Field {
    std::string name;      // "iax2.src_call"
    std::string label;     // "Source call"
    FieldKind kind = FieldKind::Unsigned32;
    FieldBase base = FieldBase::Decimal;
    std::uint64_t bitmask = 0; // the bits of the word it is read from, where it is a part of one
    std::span<const ValueName> names;
    std::string protocol;  // "iax2"
    // Calls the sink with every value the field has in the frame, in the
    // order they lie in the packet; none where it is absent.
    Reader read = nullptr;
    int parameter = 0; // what the reader is to read, where one reader serves several fields
    std::uint8_t needs = NeedsNothing;
    Show show = Shown;
    Group group = Group::None;
    // The field whose line this one is a part of, in the packet details
    // (ip.flags.df under ip.flags); empty where it stands on its own.
    std::string parent;
};

// The fields in their protocols' order (frame, link layers, IP, UDP, IAX2),
// and within a protocol in the order the packet details list them.
[[nodiscard]] std::span<const Field> allFields();
[[nodiscard]] const Field* findField(std::string_view name);
// The iax2.iax.* field holding an information element's value, or nullptr.
[[nodiscard]] const Field* elementField(std::uint8_t identifier);

// The name of a number in the field's value names (a bit mask's names are
// single bits), or nullptr.
[[nodiscard]] const char* valueName(const Field& field, std::uint64_t value);
// The number a name stands for in the field's value names, case ignored
// (`NEW`, "ack"); -1 where it names none.
[[nodiscard]] std::int64_t numberNamed(const Field& field, std::string_view name);

// Each protocol's fields, in order; the registry calls them once.
void addFrameFields(std::vector<Field>& fields);
void addLinkFields(std::vector<Field>& fields);
void addNetworkFields(std::vector<Field>& fields);
void addHepFields(std::vector<Field>& fields);
void addIaxFields(std::vector<Field>& fields);
void addColumnFields(std::vector<Field>& fields);

// Helpers for the readers.
namespace put {
// True where the sink wants no more values.
bool number(ValueSink& sink, const Field& field, std::uint64_t value, int offset = -1,
            int length = 0, int instance = -1);
bool text(ValueSink& sink, const Field& field, std::string_view text,
          std::span<const std::uint8_t> raw = {}, int offset = -1, int length = 0,
          int instance = -1);
} // namespace put

} // namespace fields
