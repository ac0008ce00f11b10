#include "analysis/StreamAnalysis.h"

#include "record/IaxNumbers.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <unordered_set>

namespace analysis {
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

double arrivalMs(const FrameFacts& facts, const CaptureTime& origin) {
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

std::uint32_t codecMaskOf(const Call& call) {
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

// What one end has sent so far: the reference its mini timestamps are
// extended from, and the codec its mini frames carry.
struct Sender {
    std::uint32_t reference = 0;
    std::uint32_t codecMask = 0;
    std::vector<StreamPacket> packets;
};

void collect(const Call& call, const FrameList& frames, Sender (&senders)[2]) {
    std::uint32_t previousNumber = 0;
    for (const std::uint32_t number : call.frameNumbers) {
        // A trunk frame with several entries of the call is listed once per entry.
        if (number == 0 || number > frames.size() || number == previousNumber) {
            continue;
        }
        previousNumber = number;
        const KvIAXFrame& frame = *frames[number - 1];
        const FrameFacts& facts = frame.facts();
        const int side = endpointOf(frame, true) == call.caller ? 0 : 1;
        Sender& sender = senders[side];
        StreamPacket packet;
        packet.frameNumber = number;
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
                packet.codecMask = sender.codecMask;
                packet.payload = locate(facts, facts.payloadOffset + 12u);
                sender.packets.push_back(packet);
            }
            break;
        case FrameKind::Mini:
            packet.timestamp =
                extend(static_cast<std::uint16_t>(facts.iaxTimestamp), sender.reference);
            sender.reference = packet.timestamp;
            packet.codecMask = sender.codecMask;
            packet.payload = locate(facts, facts.payloadOffset + 4u);
            sender.packets.push_back(packet);
            break;
        case FrameKind::Trunk: {
            const std::uint16_t callNumber =
                side == 0 ? call.callerCall : call.calleeCall.value_or(0);
            for (const TrunkEntry& entry : frame.trunkEntries()) {
                if (!entry.headerCaptured || entry.sourceCall != callNumber) {
                    continue;
                }
                packet.timestamp = entry.hasTimestamp ? extend(entry.timestamp, sender.reference)
                                                      : facts.iaxTimestamp;
                sender.reference = packet.timestamp;
                packet.codecMask = sender.codecMask;
                packet.payload = locate(facts, entry.dataOffset, entry.length);
                sender.packets.push_back(packet);
            }
            break;
        }
        default:
            break;
        }
    }
}

// Fills in every packet's delta, jitter and status, and the stream's figures.
StreamFigures measure(std::vector<StreamPacket>& packets, std::optional<double> frameMs) {
    StreamFigures figures;
    figures.frameMs = frameMs;
    figures.packets = packets.size();
    std::unordered_set<std::uint32_t> seen;
    seen.reserve(packets.size());
    std::uint32_t smallest = UINT32_MAX, largest = 0;
    double jitter = 0, jitterSum = 0;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        StreamPacket& packet = packets[i];
        if (!seen.insert(packet.timestamp).second) {
            packet.status = PacketStatus::Duplicate;
            ++figures.duplicates;
        } else if (i > 0 && packet.timestamp < largest) {
            packet.status = PacketStatus::OutOfOrder;
            ++figures.outOfOrder;
        }
        smallest = std::min(smallest, packet.timestamp);
        largest = i > 0 ? std::max(largest, packet.timestamp) : packet.timestamp;
        if (i > 0) {
            const StreamPacket& before = packets[i - 1];
            packet.deltaMs = packet.arrivalMs - before.arrivalMs;
            if (packet.deltaMs > figures.maxDeltaMs) {
                figures.maxDeltaMs = packet.deltaMs;
                figures.maxDeltaFrame = packet.frameNumber;
            }
            const double transit = packet.deltaMs - (static_cast<double>(packet.timestamp) -
                                                     static_cast<double>(before.timestamp));
            jitter += (std::abs(transit) - jitter) / 16.0;
            figures.maxJitterMs = std::max(figures.maxJitterMs, jitter);
            jitterSum += jitter;
        }
        packet.jitterMs = jitter;
    }
    if (packets.size() > 1) {
        figures.meanJitterMs = jitterSum / static_cast<double>(packets.size() - 1);
    }
    if (!frameMs || *frameMs <= 0 || packets.empty()) {
        return figures;
    }
    figures.expected =
        static_cast<std::uint64_t>(std::llround((largest - smallest) / *frameMs)) + 1;
    figures.lost =
        static_cast<std::int64_t>(figures.expected) - static_cast<std::int64_t>(seen.size());
    // What was lost is told at the first frame after each gap, in the
    // sender's order, whenever that frame arrived.
    std::vector<std::size_t> order;
    order.reserve(seen.size());
    for (std::size_t i = 0; i < packets.size(); ++i) {
        if (packets[i].status != PacketStatus::Duplicate) {
            order.push_back(i);
        }
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return packets[a].timestamp < packets[b].timestamp;
    });
    for (std::size_t k = 1; k < order.size(); ++k) {
        StreamPacket& packet = packets[order[k]];
        const double gap = packet.timestamp - packets[order[k - 1]].timestamp;
        const long long missing = std::llround(gap / *frameMs) - 1;
        if (missing > 0) {
            packet.lostBefore =
                static_cast<std::uint32_t>(std::min<long long>(missing, UINT32_MAX));
            if (packet.status == PacketStatus::Ok) {
                packet.status = PacketStatus::LostBefore;
            }
        }
    }
    return figures;
}

} // namespace

const char* statusText(PacketStatus status) {
    switch (status) {
    case PacketStatus::Ok:
        return "ok";
    case PacketStatus::LostBefore:
        return "lost before";
    case PacketStatus::Duplicate:
        return "duplicate";
    case PacketStatus::OutOfOrder:
        return "out of order";
    }
    return "";
}

std::optional<double> frameDurationMs(std::uint32_t codecMask, std::size_t bytes) {
    if (bytes == 0) {
        return std::nullopt;
    }
    const double size = static_cast<double>(bytes);
    switch (codecMask) {
    case 4: // G.711 u-law: one byte a sample at 8 kHz
    case 8: // G.711 a-law
        return size / 8.0;
    case 64: // 16-bit signed linear
        return size / 16.0;
    case 2: // GSM 06.10: 33 bytes every 20 ms
        return bytes % 33 == 0 ? std::optional(size / 33.0 * 20.0) : std::nullopt;
    case 256: // G.729: 10 bytes every 10 ms
        return bytes % 10 == 0 ? std::optional(size) : std::nullopt;
    case 16: // G.726 at 32 kbit/s: four bits a sample
    case 32: // IMA ADPCM
        return size / 4.0;
    case 128: // LPC10: 7 bytes every 22.5 ms
        return bytes % 7 == 0 ? std::optional(size / 7.0 * 22.5) : std::nullopt;
    case 1: // G.723.1: 24 or 20 bytes every 30 ms
        return bytes % 24 == 0   ? std::optional(size / 24.0 * 30.0)
               : bytes % 20 == 0 ? std::optional(size / 20.0 * 30.0)
                                 : std::nullopt;
    case 1024: // iLBC: 38 bytes every 20 ms, or 50 every 30
        return bytes % 38 == 0   ? std::optional(size / 38.0 * 20.0)
               : bytes % 50 == 0 ? std::optional(size / 50.0 * 30.0)
                                 : std::nullopt;
    default: // Speex and the rest: the size does not tell
        return std::nullopt;
    }
}

std::vector<VoiceStream> callStreams(const Call& call, std::size_t index, const FrameList& frames) {
    const std::uint32_t callMask = codecMaskOf(call);
    Sender senders[2];
    senders[0].codecMask = senders[1].codecMask = callMask;
    collect(call, frames, senders);
    std::vector<VoiceStream> streams;
    for (int side = 0; side < 2; ++side) {
        auto& packets = senders[side].packets;
        if (packets.empty()) {
            continue;
        }
        VoiceStream stream;
        stream.figures =
            measure(packets, frameDurationMs(callMask, packets.front().payload.length));
        StreamFigures& figures = stream.figures;
        figures.call = index;
        figures.fromCaller = side == 0;
        figures.source = side == 0 ? call.caller : call.callee;
        figures.destination = side == 0 ? call.callee : call.caller;
        figures.codec = call.codecName();
        const FrameFacts& first = frames[packets.front().frameNumber - 1]->facts();
        figures.start = {first.captureSeconds, first.captureNanoseconds};
        figures.durationSeconds = (packets.back().arrivalMs - packets.front().arrivalMs) / 1000.0;
        stream.packets = std::move(packets);
        streams.push_back(std::move(stream));
    }
    return streams;
}

std::vector<StreamFigures> analyzeStreams(const CallTracker& tracker, const FrameList& frames) {
    std::vector<StreamFigures> figures;
    const auto& calls = tracker.calls();
    for (std::size_t index = 0; index < calls.size(); ++index) {
        for (VoiceStream& stream : callStreams(calls[index], index, frames)) {
            figures.push_back(std::move(stream.figures));
        }
    }
    return figures;
}

} // namespace analysis
