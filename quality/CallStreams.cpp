#include "quality/CallStreams.h"

#include "record/IaxNumbers.h"

#include <bit>

namespace quality {
namespace {

// A 16-bit timestamp extended with the upper bits of a reference in the
// same sender's clock, across a wrap either way.
std::uint32_t extend(std::uint16_t low, std::uint32_t reference) {
    std::uint32_t value = (reference & 0xFFFF0000u) | low;
    if (value + 0x8000u < reference && value < 0xFFFF0000u) {
        value += 0x10000u;
    } else if (value > reference + 0x8000u && value >= 0x10000u) {
        value -= 0x10000u;
    }
    return value;
}

double arrivalMs(const FrameFacts& facts, const calls::CaptureTime& origin) {
    return static_cast<double>(facts.captureSeconds - origin.seconds) * 1000.0 +
           (static_cast<double>(facts.captureNanoseconds) - origin.nanoseconds) / 1e6;
}

std::uint32_t voiceCodecMask(std::uint8_t subclass) {
    FrameFacts facts;
    facts.setKind(FrameKind::Full);
    facts.frameType = iax::Voice;
    facts.subclass = subclass;
    return facts.codecMask();
}

std::uint32_t codecMaskOf(const calls::Call& call) {
    if (call.acceptedFormat && std::popcount(*call.acceptedFormat) == 1) {
        return *call.acceptedFormat;
    }
    if (call.offeredFormat && std::popcount(*call.offeredFormat) == 1) {
        return *call.offeredFormat;
    }
    return call.firstVoiceSubclass ? voiceCodecMask(*call.firstVoiceSubclass) : 0;
}

// Frames whose timestamp echoes the frame they answer, in the other end's clock.
bool echoesOtherClock(const FrameFacts& facts) {
    const unsigned subclass = facts.subclass & 0x7Fu;
    return facts.frameType == iax::IaxControl &&
           (subclass == iax::Ack || subclass == iax::Pong || subclass == iax::LagReply);
}

// The payload bytes from `start` on, `declaredLength` of them where the
// payload says (a trunk entry) or else to the end of the datagram, as far as
// the capture kept them.
PayloadLocation locate(const FrameFacts& facts, std::size_t start,
                       std::optional<std::size_t> declaredLength = std::nullopt) {
    const std::size_t datagramEnd =
        facts.payloadOffset + (facts.udpLength > 8 ? facts.udpLength - 8u : 0u);
    const std::size_t declaredEnd =
        declaredLength ? std::min(start + *declaredLength, datagramEnd) : datagramEnd;
    const std::size_t end = std::min<std::size_t>(declaredEnd, facts.capturedLength);
    PayloadLocation location;
    location.fileOffset = facts.fileOffset;
    location.packetIndex = facts.packetIndex;
    location.capturedLength = facts.capturedLength;
    location.offset = static_cast<std::uint16_t>(std::min<std::size_t>(start, 0xFFFF));
    location.length = static_cast<std::uint16_t>(end > start ? end - start : 0);
    location.cutByCapture = facts.capturedLength < declaredEnd;
    return location;
}

// Tells whether a frame was sent by one end, without making its endpoint.
class SentBy {
public:
    explicit SentBy(const calls::Endpoint& end)
        : end_(end),
          ipv4_(std::uint32_t{end.address[12]} << 24 | std::uint32_t{end.address[13]} << 16 |
                std::uint32_t{end.address[14]} << 8 | end.address[15]) {}
    bool operator()(const KvIAXFrame& frame) const {
        const FrameFacts& facts = frame.facts();
        if (facts.sourcePort != end_.port || (facts.family() == AddressFamily::IPv6) != end_.ipv6) {
            return false;
        }
        return end_.ipv6 ? frame.ipv6Addresses() != nullptr &&
                               frame.ipv6Addresses()->source == end_.address
                         : facts.sourceAddress == ipv4_;
    }

private:
    calls::Endpoint end_; // a copy: the call list may move
    std::uint32_t ipv4_;
};

} // namespace

// What one end of a call has sent so far: the reference its mini timestamps
// are extended from, the codec its mini frames carry, and its stream.
struct CallStreams::Sender {
    Sender(const calls::Endpoint& end, double jitterBufferMs) : sentIt(end), meter(jitterBufferMs) {}
    SentBy sentIt;
    std::uint32_t reference = 0;
    std::uint32_t codecMask = 0; // of its last voice full frame; 0 before one
    StreamMeter meter;
    std::vector<StreamPacket> packets; // kept only where the packets are wanted
    std::uint32_t firstFrame = 0;
    calls::CaptureTime firstCaptured;            // of its first frame, so that no record is needed for it
    std::uint16_t firstPayloadLength = 0; // tells the frame duration
    double firstArrivalMs = 0, lastArrivalMs = 0;
    std::uint64_t count = 0;
};

CallStreams::CallStreams(const calls::CallList& calls, std::size_t index, bool keepPackets,
                         const QualityOptions& options)
    : calls_(&calls), index_(index), keepPackets_(keepPackets) {
    senders_.emplace_back(calls[index].caller, options.jitterBufferMs);
    senders_.emplace_back(calls[index].callee, options.jitterBufferMs);
    const std::size_t expected = calls[index].frameNumbers.size() / 2 + 1;
    for (Sender& sender : senders_) {
        sender.meter.reserve(expected);
        if (keepPackets) {
            sender.packets.reserve(expected);
        }
    }
}

CallStreams::~CallStreams() = default;
CallStreams::CallStreams(CallStreams&&) noexcept = default;
CallStreams& CallStreams::operator=(CallStreams&&) noexcept = default;

void CallStreams::add(const KvIAXFrame& frame, std::uint32_t frameNumber) {
    // A trunk frame with several entries of the call is listed once per entry.
    if (frameNumber == previousNumber_) {
        return;
    }
    previousNumber_ = frameNumber;
    const calls::Call& call = this->call();
    const FrameFacts& facts = frame.facts();
    if (facts.isLocked()) {
        return; // its timestamp and voice are ciphertext
    }
    Sender& sender = senders_[senders_[0].sentIt(frame) ? 0 : 1];
    const bool firstOfSender = sender.count == 0;
    // Where the payload lies is kept with the packets, and otherwise wanted
    // of the first packet alone: its size tells the frame duration.
    const bool locating = keepPackets_ || sender.count == 0;
    StreamPacket packet;
    packet.frameNumber = frameNumber;
    packet.arrivalMs = arrivalMs(facts, call.start);
    switch (facts.kind()) {
    case FrameKind::Full:
        if (!echoesOtherClock(facts)) {
            sender.reference = facts.iaxTimestamp;
        }
        if (facts.frameType == iax::Voice) {
            if (const std::uint32_t mask = facts.codecMask(); mask != 0) {
                sender.codecMask = mask;
            }
            packet.timestamp = facts.iaxTimestamp;
            if (locating) {
                packet.payload = locate(facts, facts.payloadOffset + 12u);
            }
            take(sender, packet);
        }
        break;
    case FrameKind::Mini:
        packet.timestamp = extend(static_cast<std::uint16_t>(facts.iaxTimestamp), sender.reference);
        if (locating) {
            packet.payload = locate(facts, facts.payloadOffset + 4u);
        }
        take(sender, packet);
        break;
    case FrameKind::Trunk: {
        const std::uint16_t callNumber =
            &sender == &senders_[0] ? call.callerCall : call.calleeCall.value_or(0);
        for (const TrunkEntry& entry : frame.trunkEntries()) {
            if (!entry.headerCaptured || entry.sourceCall != callNumber) {
                continue;
            }
            packet.timestamp =
                entry.hasTimestamp ? extend(entry.timestamp, sender.reference) : facts.iaxTimestamp;
            if (keepPackets_ || sender.count == 0) {
                packet.payload = locate(facts, entry.dataOffset, entry.length);
            }
            take(sender, packet);
        }
        break;
    }
    default:
        break;
    }
    if (firstOfSender && sender.count > 0) {
        sender.firstCaptured = {facts.captureSeconds, facts.captureNanoseconds};
    }
}

void CallStreams::take(Sender& sender, StreamPacket& packet) {
    sender.reference = packet.timestamp;
    // Until the end has sent a voice full frame, its voice is in the call's codec.
    packet.codecMask = sender.codecMask != 0 ? sender.codecMask : codecMaskOf(call());
    sender.meter.add(packet);
    if (sender.count++ == 0) {
        sender.firstFrame = packet.frameNumber;
        sender.firstPayloadLength = packet.payload.length;
        sender.firstArrivalMs = packet.arrivalMs;
    }
    sender.lastArrivalMs = packet.arrivalMs;
    if (keepPackets_) {
        sender.packets.push_back(packet);
    }
}

std::optional<double> CallStreams::frameMsOf(int side) const {
    return frameDurationMs(codecMaskOf(call()),
                           senders_[static_cast<std::size_t>(side)].firstPayloadLength);
}

bool CallStreams::hasVoice() const {
    return senders_[0].count + senders_[1].count > 0;
}

StreamTrouble CallStreams::trouble(int side) const {
    return senders_[static_cast<std::size_t>(side)].meter.trouble(frameMsOf(side));
}

StreamFigures CallStreams::figuresOf(int side, std::optional<double> roundTripMs) const {
    const calls::Call& call = this->call();
    const Sender& sender = senders_[static_cast<std::size_t>(side)];
    StreamFigures figures = sender.meter.figures(frameMsOf(side), codecMaskOf(call), roundTripMs);
    figures.call = index_;
    figures.fromCaller = side == 0;
    figures.source = side == 0 ? call.caller : call.callee;
    figures.destination = side == 0 ? call.callee : call.caller;
    figures.codec = call.codecName();
    figures.start = sender.firstCaptured;
    figures.durationSeconds = (sender.lastArrivalMs - sender.firstArrivalMs) / 1000.0;
    return figures;
}

std::vector<StreamFigures> CallStreams::figures(std::optional<double> roundTripMs) const {
    std::vector<StreamFigures> figures;
    for (int side = 0; side < 2; ++side) {
        if (senders_[static_cast<std::size_t>(side)].count > 0) {
            figures.push_back(figuresOf(side, roundTripMs));
        }
    }
    return figures;
}

std::uint64_t CallStreams::heldBytes() const {
    std::uint64_t bytes = sizeof(CallStreams) + senders_.capacity() * sizeof(Sender);
    for (const Sender& sender : senders_) {
        bytes += sender.meter.heldBytes() + sender.packets.capacity() * sizeof(StreamPacket);
    }
    return bytes;
}

std::vector<VoiceStream> CallStreams::takeStreams(std::optional<double> roundTripMs) {
    std::vector<VoiceStream> streams;
    for (int side = 0; side < 2; ++side) {
        Sender& sender = senders_[static_cast<std::size_t>(side)];
        if (sender.count == 0) {
            continue;
        }
        VoiceStream stream;
        stream.figures = figuresOf(side, roundTripMs);
        markLosses(sender.packets, stream.figures.frameMs.value_or(0));
        stream.packets = std::move(sender.packets);
        streams.push_back(std::move(stream));
    }
    return streams;
}

} // namespace quality
