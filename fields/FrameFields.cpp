// frame.*: what the capture knows of each packet, and the protocols in it.
#include "fields/FieldRegistry.h"
#include "linklayer/PacketLayers.h"

namespace fields {
namespace {

enum class FrameField {
    Protocol,
    Time,
    Epoch,
    Delta,
    DeltaShown,
    Relative,
    Number,
    Length,
    CapturedLength,
    Protocols,
};

bool time(ValueSink& sink, const Field& field, std::int64_t seconds, std::int64_t nanoseconds) {
    // Normalised so that both parts carry the sign of the whole.
    std::int64_t total = seconds * 1'000'000'000 + nanoseconds;
    Value v;
    v.kind = field.kind;
    v.seconds = total / 1'000'000'000;
    v.nanoseconds = static_cast<std::int32_t>(total % 1'000'000'000);
    return sink.take(v);
}

bool since(ValueSink& sink, const Field& field, const FrameFacts& now, const FrameFacts& then) {
    return time(sink, field, now.captureSeconds - then.captureSeconds,
                static_cast<std::int64_t>(now.captureNanoseconds) - then.captureNanoseconds);
}

// "Frame 7: 98 bytes on wire (784 bits), 98 bytes captured (784 bits)"
std::string frameSummary(const FieldFrame& frame) {
    const FrameFacts& facts = frame.facts();
    return "Frame " + std::to_string(frame.number()) + ": " + std::to_string(facts.wireLength) +
           " bytes on wire (" + std::to_string(facts.wireLength * 8ull) + " bits), " +
           std::to_string(facts.capturedLength) + " bytes captured (" +
           std::to_string(facts.capturedLength * 8ull) + " bits)";
}

// "eth:ethertype:ip:udp:iax2", as frame.protocols lists them.
std::string protocolsOf(const FieldFrame& frame) {
    const FrameFacts& facts = frame.facts();
    const auto packet = frame.packet();
    const LocatedPayload layout = locateLayers(packet, facts.linkType);
    if (!layout.linkType) {
        return {};
    }
    std::string list = layout.linkType->protocols;
    for (std::size_t i = 0; i < layout.tagCount; ++i) {
        list += layout.tags[i].provider ? ":ieee8021ad:ethertype" : ":vlan:ethertype";
    }
    switch (facts.family()) {
    case AddressFamily::IPv4:
        list += ":ip";
        break;
    case AddressFamily::IPv6:
        list += ":ipv6";
        break;
    case AddressFamily::None:
        return list;
    }
    const bool hep = layout.hepOffset != LocatedPayload::none;
    if (hep) {
        // A HEP message, and the IAX2 packet it carries where it is one.
        list += ":udp:hep";
        if (facts.kind() == FrameKind::NotIax) {
            return list;
        }
        list += ":iax2";
    } else if (facts.portsCaptured != 0 && facts.kind() != FrameKind::NotIax) {
        list += ":udp";
        if (facts.kind() != FrameKind::Truncated || facts.capturedLength > facts.payloadOffset) {
            list += ":iax2";
        }
    } else {
        return list;
    }
    // Voice or video data, which no dissector reads further.
    const bool media = facts.kind() == FrameKind::Mini || facts.kind() == FrameKind::VideoMini ||
                       (facts.kind() == FrameKind::Full &&
                        (facts.frameType == 2 || facts.frameType == 3));
    const std::size_t header = facts.kind() == FrameKind::Mini        ? 4
                               : facts.kind() == FrameKind::VideoMini ? 6
                                                                      : 12;
    const std::size_t datagram = facts.udpLength > 8 ? facts.udpLength - 8u : 0u;
    if (media && datagram > header && facts.capturedLength > facts.payloadOffset + header) {
        list += ":data";
    }
    return list;
}

void frame(const FieldFrame& f, const Field& field, ValueSink& sink) {
    const FrameFacts& facts = f.facts();
    switch (static_cast<FrameField>(field.parameter)) {
    case FrameField::Protocol: {
        const std::string summary = frameSummary(f);
        put::text(sink, field, summary);
        return;
    }
    case FrameField::Time:
    case FrameField::Epoch:
        time(sink, field, facts.captureSeconds, facts.captureNanoseconds);
        return;
    case FrameField::Delta:
        since(sink, field, facts,
              f.context().previousFrame != nullptr ? *f.context().previousFrame : facts);
        return;
    case FrameField::DeltaShown:
        since(sink, field, facts,
              f.context().previousShown != nullptr ? *f.context().previousShown : facts);
        return;
    case FrameField::Relative:
        since(sink, field, facts, f.context().firstFrame != nullptr ? *f.context().firstFrame : facts);
        return;
    case FrameField::Number:
        put::number(sink, field, f.number());
        return;
    case FrameField::Length:
        put::number(sink, field, facts.wireLength);
        return;
    case FrameField::CapturedLength:
        put::number(sink, field, facts.capturedLength);
        return;
    case FrameField::Protocols: {
        const std::string protocols = protocolsOf(f);
        put::text(sink, field, protocols);
        return;
    }
    }
}

} // namespace

void addFrameFields(std::vector<Field>& fields) {
    using K = FieldKind;
    auto add = [&](const char* name, const char* label, K kind, FrameField which,
                   FieldBase base = FieldBase::None, Show show = Shown) {
        fields.push_back({name, label, kind, base, 0, {}, "frame", frame,
                          static_cast<int>(which), NeedsNothing, show, Group::None, {}});
    };
    add("frame", "Frame", K::Protocol, FrameField::Protocol);
    add("frame.time", "Arrival Time", K::AbsoluteTime, FrameField::Time);
    // The same moment, as seconds since 1970.
    add("frame.time_epoch", "Epoch Time", K::RelativeTime, FrameField::Epoch);
    add("frame.time_delta", "Time delta from previous captured frame", K::RelativeTime,
        FrameField::Delta);
    add("frame.time_delta_displayed", "Time delta from previous displayed frame", K::RelativeTime,
        FrameField::DeltaShown);
    add("frame.time_relative", "Time since reference or first frame", K::RelativeTime,
        FrameField::Relative);
    add("frame.number", "Frame Number", K::Unsigned32, FrameField::Number, FieldBase::Decimal);
    add("frame.len", "Frame Length", K::Unsigned32, FrameField::Length, FieldBase::Decimal);
    add("frame.cap_len", "Capture Length", K::Unsigned32, FrameField::CapturedLength,
        FieldBase::Decimal);
    add("frame.protocols", "Protocols in frame", K::String, FrameField::Protocols,
        FieldBase::None, Generated);
    // VLAN tags and a HEP message are seen in the packet's bytes only.
    fields.back().needs = NeedsCaptureFile;
}

} // namespace fields
