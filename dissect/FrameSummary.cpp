#include "dissect/FrameSummary.h"

#include "dissect/FrameDisplay.h"
#include "dissect/IaxValueNames.h"
#include "record/IaxNumbers.h"

#include <optional>

namespace framesummary {
namespace {

constexpr std::uint8_t dtmfEnd = 1, dtmfBegin = 12;

std::string named(std::span<const ValueName> names, std::uint64_t value) {
    const char* name = iaxvalues::nameOf(names, value);
    return name != nullptr ? name : "(" + std::to_string(value) + ")";
}

std::optional<std::span<const std::uint8_t>> element(const KvIAXFrame& frame, std::uint8_t id) {
    return frame.elementArea().value(id);
}

std::string text(const KvIAXFrame& frame, std::uint8_t id) {
    const auto value = element(frame, id);
    return value ? framedisplay::latin1ToUtf8(*value) : std::string();
}

std::optional<std::uint32_t> number(const KvIAXFrame& frame, std::uint8_t id) {
    const auto value = element(frame, id);
    if (!value || value->empty() || value->size() > 4) {
        return std::nullopt;
    }
    std::uint32_t n = 0;
    for (const std::uint8_t byte : *value) {
        n = n << 8 | byte;
    }
    return n;
}

std::string digit(std::uint8_t subclass) {
    return subclass >= 0x20 && subclass < 0x7F ? std::string(1, static_cast<char>(subclass))
                                               : "(" + std::to_string(subclass) + ")";
}

std::string codecName(std::uint32_t mask) {
    return mask != 0 ? named(iaxvalues::codecs(), mask) : "unknown codec";
}

// What an IAX control frame says beyond its name.
std::string iaxDetail(const KvIAXFrame& frame) {
    const FrameFacts& facts = frame.facts();
    switch (facts.subclass) {
    case iax::New: {
        const std::string from = text(frame, iax::CallingNumber);
        const std::string to = text(frame, iax::CalledNumber);
        return " " + (from.empty() ? "?" : from) + " \u2192 " + (to.empty() ? "?" : to) +
               " (call " + std::to_string(facts.sourceCall) + ")";
    }
    case iax::Pong:
    case iax::LagReply: {
        // The far end's receiver report: jitter, and loss in percent.
        const auto jitter = number(frame, 46);
        const auto loss = number(frame, 47);
        if (!jitter && !loss) {
            return {};
        }
        return " (rr: jitter " + (jitter ? std::to_string(*jitter) : std::string("?")) + ", loss " +
               (loss ? std::to_string(*loss >> 24) : std::string("?")) + " %)";
    }
    case iax::Vnak:
        return " iseq " + std::to_string(facts.inboundSequence);
    case iax::Hangup:
    case iax::Reject:
    case iax::RegReject: {
        const std::string cause = text(frame, iax::CauseText);
        const auto code = number(frame, iax::CauseCode);
        std::string detail = cause.empty() ? "" : " " + cause;
        if (code) {
            detail += " (" + named(iaxvalues::causeCodes(), *code) + ")";
        }
        return detail;
    }
    case iax::RegRequest:
    case iax::RegAuth:
    case iax::RegAck:
    case iax::RegRelease: {
        const std::string user = text(frame, iax::Username);
        return user.empty() ? "" : " " + user;
    }
    case iax::Accept: {
        const auto format = number(frame, iax::Format);
        return format ? " " + codecName(*format) : "";
    }
    default:
        return {};
    }
}

std::string notIax(const FrameFacts& facts) {
    switch (facts.packetClass()) {
    case PacketClass::NotIp:
        return "Not IP";
    case PacketClass::Arp:
        return "ARP";
    case PacketClass::UnknownLinkType:
        return "Unknown link-layer type";
    case PacketClass::MalformedIPv4:
        return "Malformed IPv4";
    case PacketClass::MalformedIPv6:
        return "Malformed IPv6";
    case PacketClass::Ipv4Fragment:
    case PacketClass::Ipv6Fragment:
        return "IP fragment";
    case PacketClass::Tcp:
        return "TCP";
    case PacketClass::Icmp:
        return "ICMP";
    case PacketClass::Icmpv6:
        return "ICMPv6";
    case PacketClass::OtherIpProtocol:
        return "IP protocol " + std::to_string(facts.subclass);
    case PacketClass::Hep:
        return facts.subclass == 34    ? "HEP QoS report"
               : facts.subclass == 100 ? "HEP log"
                                       : "HEP type " + std::to_string(facts.subclass);
    }
    return "Not IAX2";
}

} // namespace

std::string label(const KvIAXFrame& frame) {
    const FrameFacts& facts = frame.facts();
    switch (facts.kind()) {
    case FrameKind::Full:
        break;
    case FrameKind::Mini:
        return "Mini voice";
    case FrameKind::VideoMini:
        return "Mini video";
    case FrameKind::Trunk:
        return "Trunk";
    case FrameKind::Meta:
        return "Meta";
    case FrameKind::Truncated:
        return "Truncated";
    case FrameKind::NotIax:
    case FrameKind::Fresh:
        return notIax(facts);
    }
    switch (facts.frameType) {
    case dtmfEnd:
    case dtmfBegin:
        return "DTMF " + digit(facts.subclass);
    case iax::IaxControl:
        return named(iaxvalues::iaxSubclasses(), facts.subclass);
    case iax::Control:
        return named(iaxvalues::controlSubclasses(), facts.subclass);
    default:
        return named(iaxvalues::frameTypes(), facts.frameType);
    }
}

std::string info(const KvIAXFrame& frame) {
    const FrameFacts& facts = frame.facts();
    if (facts.isLocked()) {
        return "Encrypted";
    }
    std::string line;
    switch (facts.kind()) {
    case FrameKind::Mini:
        line = "Mini voice ts " + std::to_string(facts.iaxTimestamp);
        break;
    case FrameKind::VideoMini:
        line = "Mini video ts " + std::to_string(facts.iaxTimestamp);
        break;
    case FrameKind::Trunk: {
        std::size_t calls = 0;
        for (const TrunkEntry& entry : frame.trunkEntries()) {
            calls += entry.headerCaptured && entry.withinDatagram ? 1 : 0;
        }
        line = "Trunk: " + std::to_string(calls) + (calls == 1 ? " call" : " calls");
        break;
    }
    case FrameKind::Meta:
        line = "Meta command " + std::to_string(facts.subclass);
        break;
    case FrameKind::Full:
        switch (facts.frameType) {
        case dtmfEnd:
        case dtmfBegin:
            line = named(iaxvalues::frameTypes(), facts.frameType) + " " + digit(facts.subclass);
            break;
        case iax::IaxControl:
            line = label(frame) + iaxDetail(frame);
            break;
        case iax::Control:
            line = "Control " + label(frame);
            break;
        case iax::Voice:
            line = "Voice " + codecName(facts.codecMask()) + " ts " +
                   std::to_string(facts.iaxTimestamp);
            break;
        default:
            line = label(frame);
            break;
        }
        if (facts.retransmission != 0) {
            line += " [retransmission]";
        }
        break;
    default:
        line = label(frame);
        break;
    }
    return line;
}

} // namespace framesummary
