#include "dissect/PacketLayers.h"

namespace {
constexpr std::size_t sourceOffset = 26;
constexpr std::size_t destinationOffset = 30;
constexpr std::size_t sourcePortOffset = 34;
constexpr std::size_t destinationPortOffset = 36;
constexpr std::size_t udpLengthOffset = 38;
constexpr std::size_t payloadOffset = 42;
} // namespace

ByteCursor locateIaxPayload(const ByteCursor& packet, FrameFacts& facts) {
    facts.setFamily(AddressFamily::IPv4);
    if (const auto address = packet.be32(sourceOffset)) {
        facts.sourceAddress = *address;
        facts.sourceCaptured = 1;
    }
    if (const auto address = packet.be32(destinationOffset)) {
        facts.destinationAddress = *address;
        facts.destinationCaptured = 1;
    }
    const auto sourcePort = packet.be16(sourcePortOffset);
    const auto destinationPort = packet.be16(destinationPortOffset);
    if (sourcePort && destinationPort) {
        facts.sourcePort = *sourcePort;
        facts.destinationPort = *destinationPort;
        facts.portsCaptured = 1;
    }
    if (const auto length = packet.be16(udpLengthOffset)) {
        facts.udpLength = *length;
        facts.udpLengthCaptured = 1;
    }
    facts.payloadOffset = payloadOffset;
    return packet.sub(payloadOffset);
}
