#include "analysis/StreamAnalysis.h"

#include "record/IaxNumbers.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <unordered_set>

namespace analysis {
namespace {

// A voice frame of a stream: its timestamp in the sender's milliseconds,
// its capture time, its size and its frame number.
struct VoiceFrame {
    std::uint32_t timestamp;
    double arrivalMs;
    std::size_t payloadBytes;
    std::uint32_t frameNumber;
};

// A 16-bit timestamp extended with the upper bits of the call's last full
// frame timestamp, across a wrap either way.
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

std::uint32_t codecMaskOf(const Call& call, std::optional<std::uint8_t> voiceSubclass) {
    if (call.acceptedFormat && std::popcount(*call.acceptedFormat) == 1) {
        return *call.acceptedFormat;
    }
    if (call.offeredFormat && std::popcount(*call.offeredFormat) == 1) {
        return *call.offeredFormat;
    }
    if (voiceSubclass) {
        FrameFacts facts;
        facts.setKind(FrameKind::Full);
        facts.frameType = iax::Voice;
        facts.subclass = *voiceSubclass;
        return facts.codecMask();
    }
    return 0;
}

StreamFigures figuresOf(const std::vector<VoiceFrame>& frames, std::optional<double> frameMs) {
    StreamFigures figures;
    figures.packets = frames.size();
    std::unordered_set<std::uint32_t> seen;
    std::uint32_t smallest = UINT32_MAX, largest = 0;
    bool haveLargest = false;
    double jitter = 0, jitterSum = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const VoiceFrame& frame = frames[i];
        if (!seen.insert(frame.timestamp).second) {
            ++figures.duplicates;
        } else if (haveLargest && frame.timestamp < largest) {
            ++figures.outOfOrder;
        }
        smallest = std::min(smallest, frame.timestamp);
        largest = haveLargest ? std::max(largest, frame.timestamp) : frame.timestamp;
        haveLargest = true;
        if (i > 0) {
            const VoiceFrame& before = frames[i - 1];
            const double delta = frame.arrivalMs - before.arrivalMs;
            if (delta > figures.maxDeltaMs) {
                figures.maxDeltaMs = delta;
                figures.maxDeltaFrame = frame.frameNumber;
            }
            const double transit = delta - (static_cast<double>(frame.timestamp) -
                                            static_cast<double>(before.timestamp));
            jitter += (std::abs(transit) - jitter) / 16.0;
            figures.maxJitterMs = std::max(figures.maxJitterMs, jitter);
            jitterSum += jitter;
        }
    }
    if (frames.size() > 1) {
        figures.meanJitterMs = jitterSum / static_cast<double>(frames.size() - 1);
    }
    figures.frameMs = frameMs;
    if (frameMs && *frameMs > 0 && !frames.empty()) {
        figures.expected =
            static_cast<std::uint64_t>(std::llround((largest - smallest) / *frameMs)) + 1;
        figures.lost =
            static_cast<std::int64_t>(figures.expected) - static_cast<std::int64_t>(seen.size());
    }
    return figures;
}

} // namespace

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

std::vector<StreamFigures> analyzeStreams(const CallTracker& tracker, const FrameList& frames) {
    std::vector<StreamFigures> streams;
    const auto& calls = tracker.calls();
    for (std::size_t index = 0; index < calls.size(); ++index) {
        const Call& call = calls[index];
        std::vector<VoiceFrame> voice[2]; // from the caller, from the callee
        std::uint32_t lastFullTimestamp[2] = {0, 0};
        std::optional<std::uint8_t> voiceSubclass;
        for (const std::uint32_t number : call.frameNumbers) {
            if (number == 0 || number > frames.size()) {
                continue;
            }
            const KvIAXFrame& frame = *frames[number - 1];
            const FrameFacts& facts = frame.facts();
            const int side = endpointOf(frame, true) == call.caller ? 0 : 1;
            const double arrival = arrivalMs(facts, call.start);
            const std::size_t payload = facts.udpLength > 8 ? facts.udpLength - 8u : 0;
            switch (facts.kind()) {
            case FrameKind::Full:
                lastFullTimestamp[side] = facts.iaxTimestamp;
                if (facts.frameType == iax::Voice) {
                    voiceSubclass = voiceSubclass.value_or(facts.subclass);
                    voice[side].push_back(
                        {facts.iaxTimestamp, arrival, payload > 12 ? payload - 12 : 0, number});
                }
                break;
            case FrameKind::Mini:
                voice[side].push_back({extend(static_cast<std::uint16_t>(facts.iaxTimestamp),
                                              lastFullTimestamp[side]),
                                       arrival, payload > 4 ? payload - 4 : 0, number});
                break;
            case FrameKind::Trunk:
                for (const TrunkEntry& entry : frame.trunkEntries()) {
                    if (entry.headerCaptured &&
                        entry.sourceCall ==
                            (side == 0 ? call.callerCall : call.calleeCall.value_or(0))) {
                        voice[side].push_back(
                            {entry.hasTimestamp ? extend(entry.timestamp, lastFullTimestamp[side])
                                                : facts.iaxTimestamp,
                             arrival, entry.length, number});
                    }
                }
                break;
            default:
                break;
            }
        }
        const std::uint32_t mask = codecMaskOf(call, voiceSubclass);
        for (int side = 0; side < 2; ++side) {
            const auto& stream = voice[side];
            if (stream.empty()) {
                continue;
            }
            StreamFigures figures =
                figuresOf(stream, frameDurationMs(mask, stream.front().payloadBytes));
            figures.call = index;
            figures.fromCaller = side == 0;
            figures.source = side == 0 ? call.caller : call.callee;
            figures.destination = side == 0 ? call.callee : call.caller;
            figures.codec = call.codecName();
            const auto& first = *frames[stream.front().frameNumber - 1];
            figures.start = {first.facts().captureSeconds, first.facts().captureNanoseconds};
            figures.durationSeconds = (stream.back().arrivalMs - stream.front().arrivalMs) / 1000.0;
            streams.push_back(std::move(figures));
        }
    }
    return streams;
}

} // namespace analysis
