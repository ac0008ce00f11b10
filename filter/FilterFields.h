#pragma once

#include "dissect/KvIAXFrame.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CapturePackets;

namespace filter {

enum class FieldType : std::uint8_t { Number, Boolean, Time, IPv4, IPv6, Ether, String };
[[nodiscard]] const char* typeName(FieldType type); // "a number", "an IPv4 address"...

// One value of a field in one frame. Text is valid while the value is visited.
struct Value {
    FieldType type = FieldType::Number;
    std::int64_t number = 0;              // Number and Boolean; IPv4 in host order
    double seconds = 0;                   // Time
    std::array<std::uint8_t, 16> bytes{}; // IPv6, or the 6 bytes of an Ether address
    std::string_view text;                // String
};

// Takes the values of a field one by one; true stops the visit.
class ValueSink {
public:
    virtual bool take(const Value& value) = 0;

protected:
    ~ValueSink() = default;
};

// What a frame's fields may need beyond the frame: the capture's first frame
// (frame.time_relative), the calls each frame belongs to (quorvex.call), and
// the capture file (eth.*, vlan.id: the link-layer header is not kept in
// memory, so it is read back from the file).
struct FrameCalls;
struct FilterContext {
    const FrameFacts* firstFrame = nullptr;
    const FrameCalls* calls = nullptr;
    CapturePackets* packets = nullptr;
    // The first frame (1-based) whose packet is in that file: an earlier live
    // run's file was replaced by the next.
    std::uint32_t firstFrameInFile = 1;
};

enum class Verdict : std::uint8_t { NoMatch, Match, Failed };

// The frame being tested, with what its fields are read from.
struct FilterFrame {
    const KvIAXFrame& frame;
    std::uint32_t number; // 1-based
    const FilterContext& context;
    // Where a test that could not be made says why (the first one only).
    std::string* failure = nullptr;
};

// What a field reads beyond the frame's facts.
enum Needs : std::uint8_t { NeedsNothing = 0, NeedsCalls = 1, NeedsCaptureFile = 2 };

struct Field {
    std::string name;
    FieldType type = FieldType::Number;
    // Calls `sink` with every value the field has in the frame (none where it is absent).
    void (*read)(const FilterFrame& frame, const Field& field, ValueSink& sink) = nullptr;
    int parameter = 0; // an element identifier, a display key's id...
    std::uint8_t needs = NeedsNothing;
};

// The field of that name, or nullptr: the fields Wireshark users type for
// what Quorvex decodes (frame.*, eth.*, vlan.id, ip.*, ipv6.*, udp.*,
// iax2.*, iax2.iax.<element>), Quorvex's own quorvex.call, and the display
// keys (type, subclass, source...) as text.
[[nodiscard]] const Field* findField(std::string_view name);

// The iax2.iax.* field of an information element identifier, or nullptr.
[[nodiscard]] const Field* elementField(std::uint8_t identifier);

// Value names a number field accepts instead of numbers (NEW, ANSWER...):
// the number, or -1 where the name is not one.
[[nodiscard]] std::int64_t numberNamed(const Field& field, std::string_view name);

} // namespace filter
