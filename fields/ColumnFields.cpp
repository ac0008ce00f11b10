#include "fields/ColumnFields.h"

#include "dissect/FrameDisplay.h"
#include "dissect/FrameSummary.h"
#include "record/IaxNumbers.h"

#include <array>

namespace fields {
namespace {

void nothing(const FieldFrame&, const Field&, ValueSink&) {}

// A display key, as the text the frame table shows.
void columnText(const FieldFrame& f, const Field& field, ValueSink& sink) {
    const std::string text = f.frame().text(PropertyKey::named(field.name));
    if (!text.empty()) {
        put::text(sink, field, text);
    }
}

void info(const FieldFrame& f, const Field& field, ValueSink& sink) {
    if (f.facts().kind() != FrameKind::Fresh) {
        put::text(sink, field, framesummary::info(f.frame()));
    }
}

const char* subclassField(const FrameFacts& facts) {
    return facts.isFullFrameOfType(iax::IaxControl) ? "iax2.iax.subclass"
           : facts.isFullFrameOfType(iax::Control)  ? "iax2.control.subclass"
           : facts.isFullFrameOfType(iax::Voice)    ? "iax2.voice.codec"
                                                    : nullptr;
}

// Which wire field each column shows, by the frame's facts.
struct CellWire {
    std::string_view key;
    const char* (*field)(const FrameFacts& facts, bool ipv6);
};
// clang-format off
constexpr std::array<CellWire, 10> cellWires = {{
    {"source", [](const FrameFacts&, bool ipv6) { return ipv6 ? "ipv6.src" : "ip.src"; }},
    {"destination", [](const FrameFacts&, bool ipv6) { return ipv6 ? "ipv6.dst" : "ip.dst"; }},
    {"sourcePort", [](const FrameFacts&, bool) { return "udp.srcport"; }},
    {"destinationPort", [](const FrameFacts&, bool) { return "udp.dstport"; }},
    {"scall", [](const FrameFacts&, bool) { return "iax2.src_call"; }},
    {"dcall", [](const FrameFacts&, bool) { return "iax2.dst_call"; }},
    {"timestamp", [](const FrameFacts&, bool) { return "iax2.timestamp"; }},
    {"isretry", [](const FrameFacts&, bool) { return "iax2.retransmission"; }},
    {"type", [](const FrameFacts& facts, bool) {
         return facts.kind() == FrameKind::Full ? "iax2.type" : "iax2.packet_type"; }},
    {"subclass", [](const FrameFacts& facts, bool) { return subclassField(facts); }},
}};
// clang-format on

} // namespace

void addColumnFields(std::vector<Field>& fields) {
    auto add = [&](const char* name, const char* label, FieldKind kind, Reader read) {
        fields.push_back({name,
                          label,
                          kind,
                          FieldBase::None,
                          0,
                          {},
                          "quorvex",
                          read,
                          0,
                          NeedsNothing,
                          Hidden,
                          Group::None,
                          {}});
    };
    // A protocol that shows no node of its own in the packet details.
    add("quorvex", "Quorvex columns", FieldKind::Protocol, nothing);
    for (const PropertyKey key : framedisplay::displayKeys()) {
        const std::string name(key.name());
        add(name.c_str(), name.c_str(), FieldKind::String, columnText);
    }
    add("quorvex.info", "Info", FieldKind::String, info);
    for (const Field& field : fields) {
        if (field.name == "iax2.call") {
            Field call = field;
            call.name = "quorvex.call";
            call.protocol = "quorvex";
            call.show = Hidden;
            fields.push_back(std::move(call));
            break;
        }
    }
}

const Field* wireFieldOfCell(std::string_view key, const KvIAXFrame& frame) {
    for (const CellWire& cell : cellWires) {
        if (cell.key == key) {
            const char* name = cell.field(frame.facts(), frame.ipv6Addresses() != nullptr);
            return name != nullptr ? findField(name) : nullptr;
        }
    }
    return nullptr;
}

} // namespace fields
