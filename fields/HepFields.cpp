// hep.*: the HEP v3 message that carried a packet to a collector, as a
// capture of the collector's traffic holds it: its type, the agent's capture
// id and node, the call's correlation id, the time the agent captured the
// packet, a report's or log's JSON, and the outer addresses and ports (the
// agent's and the collector's), which the ip and udp fields do not show: they
// are the carried packet's.
#include "fields/FieldRegistry.h"
#include "linklayer/HepChunks.h"
#include "linklayer/PacketLayers.h"

#include <arpa/inet.h>

namespace fields {
namespace {

enum class Hep {
    Protocol,
    Type,
    CaptureId,
    Node,
    CorrelationId,
    Time,
    Payload,
    OuterSource,
    OuterDestination,
    OuterSourcePort,
    OuterDestinationPort,
};

constexpr ValueName typeNames[] = {
    {1, "SIP"},
    {5, "RTCP"},
    {10, "IAX"},
    {34, "QoS report (JSON)"},
    {35, "MOS report (JSON)"},
    {100, "Log (JSON)"},
};

std::string addressText(std::span<const std::uint8_t> bytes) {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(bytes.size() == 16 ? AF_INET6 : AF_INET, bytes.data(), text, sizeof text);
    return text;
}

void hep(const FieldFrame& f, const Field& field, ValueSink& sink) {
    const auto packet = f.packet();
    const LocatedPayload layout = locateLayers(packet, f.facts().linkType);
    if (layout.hepOffset == LocatedPayload::none) {
        return;
    }
    const auto which = static_cast<Hep>(field.parameter);
    const ByteCursor bytes(packet);
    const auto at = [&](std::size_t offset) { return static_cast<int>(offset); };
    switch (which) {
    case Hep::OuterSource:
    case Hep::OuterDestination: {
        const auto version = bytes.u8(layout.networkOffset);
        const bool v6 = version && (*version >> 4) == 6;
        const std::size_t width = v6 ? 16 : 4;
        const std::size_t offset =
            layout.networkOffset + (v6 ? 8 : 12) + (which == Hep::OuterSource ? 0 : width);
        if (bytes.has(offset, width)) {
            put::text(sink, field, addressText(packet.subspan(offset, width)), {}, at(offset),
                      static_cast<int>(width));
        }
        return;
    }
    case Hep::OuterSourcePort:
    case Hep::OuterDestinationPort: {
        const std::size_t offset = layout.udpOffset + (which == Hep::OuterSourcePort ? 0 : 2);
        if (const auto port = bytes.be16(offset)) {
            put::number(sink, field, *port, at(offset), 2);
        }
        return;
    }
    default:
        break;
    }
    const auto message = packet.subspan(layout.hepOffset);
    std::size_t length = 0;
    std::uint32_t seconds = 0;
    std::optional<std::size_t> secondsAt;
    walkHepChunks(message, length, [&](const HepChunk& chunk) {
        if (chunk.vendor != 0) {
            return;
        }
        const ByteCursor value(chunk.value);
        const int offset = at(layout.hepOffset + chunk.offset);
        const int size = static_cast<int>(chunk.value.size());
        const std::string_view text(reinterpret_cast<const char*>(chunk.value.data()),
                                    chunk.value.size());
        switch (chunk.type) {
        case hepchunk::Seconds:
            seconds = value.be32(0).value_or(0);
            secondsAt = chunk.offset;
            break;
        case hepchunk::Microseconds:
            if (which == Hep::Time && secondsAt && chunk.value.size() == 4) {
                Value v;
                v.kind = field.kind;
                v.seconds = seconds;
                v.nanoseconds = static_cast<std::int32_t>(*value.be32(0) % 1'000'000 * 1000);
                v.offset = offset;
                v.length = size;
                sink.take(v);
            }
            break;
        case hepchunk::ProtocolType:
            if ((which == Hep::Type || which == Hep::Protocol) && chunk.value.size() == 1) {
                if (which == Hep::Protocol) {
                    const char* name = valueName(*findField("hep.proto_type"), chunk.value[0]);
                    put::text(
                        sink, field,
                        std::string("HEP v3, ") +
                            (name != nullptr ? name : "type " + std::to_string(chunk.value[0])),
                        {}, at(layout.hepOffset), static_cast<int>(length));
                } else {
                    put::number(sink, field, chunk.value[0], offset, size);
                }
            }
            break;
        case hepchunk::CaptureId:
            if (which == Hep::CaptureId && chunk.value.size() == 4) {
                put::number(sink, field, *value.be32(0), offset, size);
            }
            break;
        case hepchunk::CorrelationId:
            if (which == Hep::CorrelationId) {
                put::text(sink, field, text, chunk.value, offset, size);
            }
            break;
        case hepchunk::Node:
            if (which == Hep::Node) {
                put::text(sink, field, text, chunk.value, offset, size);
            }
            break;
        case hepchunk::PayloadBytes:
            // A report's or a log's JSON; a carried packet is read as IAX2.
            if (which == Hep::Payload && f.facts().kind() == FrameKind::NotIax) {
                put::text(sink, field, text, chunk.value, offset, size);
            }
            break;
        default:
            break;
        }
    });
}

} // namespace

void addHepFields(std::vector<Field>& fields) {
    using K = FieldKind;
    auto add = [&](const char* name, const char* label, K kind, FieldBase base, Hep which,
                   std::span<const ValueName> names = {}) {
        fields.push_back({name,
                          label,
                          kind,
                          base,
                          0,
                          names,
                          "hep",
                          hep,
                          static_cast<int>(which),
                          NeedsCaptureFile,
                          Shown,
                          Group::None,
                          {}});
    };
    add("hep", "HEP v3", K::Protocol, FieldBase::None, Hep::Protocol);
    add("hep.proto_type", "Protocol type", K::Unsigned8, FieldBase::Decimal, Hep::Type, typeNames);
    add("hep.capture_id", "Capture ID", K::Unsigned32, FieldBase::Decimal, Hep::CaptureId);
    add("hep.node_name", "Node name", K::String, FieldBase::None, Hep::Node);
    add("hep.correlation_id", "Correlation ID", K::String, FieldBase::None, Hep::CorrelationId);
    add("hep.time", "Captured by the agent", K::AbsoluteTime, FieldBase::None, Hep::Time);
    add("hep.payload", "Report", K::String, FieldBase::None, Hep::Payload);
    add("hep.outer_src", "Sent from", K::String, FieldBase::None, Hep::OuterSource);
    add("hep.outer_dst", "Sent to", K::String, FieldBase::None, Hep::OuterDestination);
    add("hep.outer_srcport", "Sent from port", K::Unsigned16, FieldBase::Decimal,
        Hep::OuterSourcePort);
    add("hep.outer_dstport", "Sent to port", K::Unsigned16, FieldBase::Decimal,
        Hep::OuterDestinationPort);
}

} // namespace fields
