#include "hep/HepMessage.h"

#include "linklayer/ByteCursor.h"
#include "linklayer/HepChunks.h"

#include <algorithm>

namespace hep {
namespace {

using namespace hepchunk;


constexpr std::uint8_t familyIPv4 = 2, familyIPv6 = 10, udp = 17;
constexpr std::size_t chunkHeader = hepChunkHeader, messageHeader = hepMessageHeader;

class Writer {
public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}
    void be16(std::uint16_t value) {
        out_.push_back(static_cast<std::uint8_t>(value >> 8));
        out_.push_back(static_cast<std::uint8_t>(value));
    }
    void be32(std::uint32_t value) {
        be16(static_cast<std::uint16_t>(value >> 16));
        be16(static_cast<std::uint16_t>(value));
    }
    void chunk(std::uint16_t type, std::span<const std::uint8_t> value) {
        be16(0);
        be16(type);
        be16(static_cast<std::uint16_t>(chunkHeader + value.size()));
        out_.insert(out_.end(), value.begin(), value.end());
    }
    void chunk8(std::uint16_t type, std::uint8_t value) { chunk(type, std::span(&value, 1)); }
    void chunk16(std::uint16_t type, std::uint16_t value) {
        const std::uint8_t bytes[] = {static_cast<std::uint8_t>(value >> 8),
                                      static_cast<std::uint8_t>(value)};
        chunk(type, bytes);
    }
    void chunk32(std::uint16_t type, std::uint32_t value) {
        const std::uint8_t bytes[] = {
            static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
        chunk(type, bytes);
    }
    void text(std::uint16_t type, const std::string& value) {
        if (!value.empty()) {
            chunk(type,
                  std::span(reinterpret_cast<const std::uint8_t*>(value.data()), value.size()));
        }
    }

private:
    std::vector<std::uint8_t>& out_;
};

std::size_t sizeOf(const Message& m) {
    const auto text = [](const std::string& value) {
        return value.empty() ? 0 : chunkHeader + value.size();
    };
    const std::size_t address = m.ipv6 ? 16 : 4;
    return messageHeader + (chunkHeader + 1) * 3 + (chunkHeader + address) * 2 +
           (chunkHeader + 2) * 2 + (chunkHeader + 4) * 3 + text(m.authKey) + text(m.correlationId) +
           text(m.node) + (m.mos ? chunkHeader + 2 : 0) + (m.vlan ? chunkHeader + 2 : 0) +
           chunkHeader + m.payload.size();
}

std::string textOf(std::span<const std::uint8_t> value) {
    return std::string(value.begin(), value.end());
}

} // namespace

bool encode(const Message& m, std::vector<std::uint8_t>& out) {
    const std::size_t size = sizeOf(m);
    if (size > maxMessageBytes) {
        return false;
    }
    out.reserve(out.size() + size);
    Writer write(out);
    out.insert(out.end(), {'H', 'E', 'P', '3'});
    write.be16(static_cast<std::uint16_t>(size));
    write.chunk8(Family, m.ipv6 ? familyIPv6 : familyIPv4);
    write.chunk8(Protocol, udp);
    const std::size_t address = m.ipv6 ? 16 : 4;
    write.chunk(m.ipv6 ? Source6 : Source4, std::span(m.source).first(address));
    write.chunk(m.ipv6 ? Destination6 : Destination4, std::span(m.destination).first(address));
    write.chunk16(SourcePort, m.sourcePort);
    write.chunk16(DestinationPort, m.destinationPort);
    write.chunk32(Seconds, m.seconds);
    write.chunk32(Microseconds, m.microseconds);
    write.chunk8(ProtocolType, m.protocolType);
    write.chunk32(CaptureId, m.captureId);
    write.text(AuthKey, m.authKey);
    write.text(CorrelationId, m.correlationId);
    write.text(Node, m.node);
    if (m.vlan) {
        write.chunk16(Vlan, *m.vlan);
    }
    if (m.mos) {
        write.chunk16(Mos, *m.mos);
    }
    write.chunk(PayloadBytes, m.payload);
    return true;
}

const char* readErrorText(ReadError error) {
    switch (error) {
    case ReadError::None:
        return "";
    case ReadError::NotHep:
        return "not a HEP v3 message";
    case ReadError::Truncated:
        return "the HEP message is cut short by the capture";
    case ReadError::Malformed:
        return "a HEP chunk runs past its message";
    }
    return "";
}

Read decode(std::span<const std::uint8_t> bytes) {
    Read read;
    Message& m = read.message;
    const HepWalk walked = walkHepChunks(bytes, read.length, [&m](const HepChunk& chunk) {
        if (chunk.vendor != 0) {
            return;
        }
        const auto value = chunk.value;
        const ByteCursor v(value);
        const auto copyAddress = [&](std::array<std::uint8_t, 16>& into, std::size_t width) {
            if (value.size() == width) {
                std::copy(value.begin(), value.end(), into.begin());
            }
        };
        switch (chunk.type) {
        case Family:
            m.ipv6 = value.size() == 1 && value[0] == familyIPv6;
            break;
        case Source4:
            copyAddress(m.source, 4);
            break;
        case Destination4:
            copyAddress(m.destination, 4);
            break;
        case Source6:
            copyAddress(m.source, 16);
            break;
        case Destination6:
            copyAddress(m.destination, 16);
            break;
        case SourcePort:
            m.sourcePort = value.size() == 2 ? *v.be16(0) : m.sourcePort;
            break;
        case DestinationPort:
            m.destinationPort = value.size() == 2 ? *v.be16(0) : m.destinationPort;
            break;
        case Seconds:
            m.seconds = value.size() == 4 ? *v.be32(0) : m.seconds;
            break;
        case Microseconds:
            m.microseconds = value.size() == 4 ? *v.be32(0) : m.microseconds;
            break;
        case ProtocolType:
            m.protocolType = value.size() == 1 ? value[0] : m.protocolType;
            break;
        case CaptureId:
            m.captureId = value.size() == 4 ? *v.be32(0) : m.captureId;
            break;
        case AuthKey:
            m.authKey = textOf(value);
            break;
        case CorrelationId:
            m.correlationId = textOf(value);
            break;
        case Node:
            m.node = textOf(value);
            break;
        case Vlan:
            m.vlan = value.size() == 2 ? v.be16(0) : std::nullopt;
            break;
        case Mos:
            m.mos = value.size() == 2 ? v.be16(0) : std::nullopt;
            break;
        case PayloadBytes:
            m.payload.assign(value.begin(), value.end());
            break;
        default:
            break;
        }
    });
    read.error = walked == HepWalk::Ok          ? ReadError::None
                 : walked == HepWalk::NotHep    ? ReadError::NotHep
                 : walked == HepWalk::Truncated ? ReadError::Truncated
                                                : ReadError::Malformed;
    return read;
}

} // namespace hep
