#include "media/VoiceListener.h"

#include "media/Dtmf.h"
#include "media/VoiceCodecs.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

namespace media {
namespace {

using quality::StreamPacket;

// The longest silence fed for a gap: enough to end any tone.
constexpr std::size_t mostGapSamples = sampleRate;

// Sums the squares of decoded samples 160 at a time.
class ActivityMeter {
public:
    explicit ActivityMeter(StreamListening& into) : into_(into) {}
    void add(std::span<const std::int16_t> samples) {
        while (!samples.empty()) {
            const std::size_t now = std::min(samples.size(), activityBlockSamples - count_);
            for (const std::int16_t sample : samples.first(now)) {
                sum_ += std::int64_t{sample} * sample;
            }
            count_ += now;
            samples = samples.subspan(now);
            if (count_ == activityBlockSamples) {
                ++into_.blocks;
                into_.activeBlocks += static_cast<double>(sum_) > threshold ? 1 : 0;
                sum_ = 0;
                count_ = 0;
            }
        }
    }

private:
    // RMS > activeRms, without a square root a block.
    static constexpr double threshold = activeRms * activeRms * activityBlockSamples;
    StreamListening& into_;
    std::int64_t sum_ = 0;
    std::size_t count_ = 0;
};

// Which frame carried each stretch of the audio the receiver was fed.
class FrameTrack {
public:
    void startsAt(std::uint64_t sample, std::size_t packet) { starts_.push_back({sample, packet}); }
    // The packet whose samples hold `sample`.
    [[nodiscard]] std::size_t packetAt(std::uint64_t sample) const {
        auto after = std::upper_bound(
            starts_.begin(), starts_.end(), sample,
            [](std::uint64_t at, const Start& start) { return at < start.sample; });
        return after == starts_.begin() ? starts_.front().packet : std::prev(after)->packet;
    }

private:
    struct Start {
        std::uint64_t sample;
        std::size_t packet;
    };
    std::vector<Start> starts_;
};

calls::CaptureTime later(const calls::CaptureTime& time, double ms) {
    // Capture times need not rise: the offset may be negative.
    long long nanoseconds = std::llround(ms * 1e6) + static_cast<long long>(time.nanoseconds);
    long long seconds = nanoseconds / 1'000'000'000;
    nanoseconds %= 1'000'000'000;
    if (nanoseconds < 0) {
        nanoseconds += 1'000'000'000;
        --seconds;
    }
    return {time.seconds + seconds, static_cast<std::uint32_t>(nanoseconds)};
}

} // namespace

PayloadReader fileReaderOf(CapturePackets& packets, const quality::VoiceStream& stream) {
    return [&packets, &stream](std::size_t index, std::vector<std::uint8_t>& payload,
                               std::string& why) {
        return packets.readPayload(stream.packets[index].payload, payload, why);
    };
}

bool listenToStream(const quality::VoiceStream& stream, CapturePackets& packets,
                    StreamListening& into, std::string& error) {
    return listenToStream(stream, fileReaderOf(packets, stream), into, error);
}

bool listenToStream(const quality::VoiceStream& stream, const PayloadReader& payloads,
                    StreamListening& into, std::string& error) {
    into = StreamListening{};
    if (stream.packets.empty()) {
        return true;
    }
    const auto frameSamples = static_cast<std::size_t>(
        std::llround(stream.figures.frameMs.value_or(20.0) * sampleRate / 1000.0));
    std::map<std::uint32_t, std::unique_ptr<VoiceDecoder>> decoders;
    ActivityMeter activity(into);
    DtmfReceiver receiver;
    FrameTrack track;
    std::vector<std::uint8_t> payload;
    std::vector<std::int16_t> decoded;
    for (const std::size_t index : quality::sendingOrder(stream.packets)) {
        const StreamPacket& packet = stream.packets[index];
        if (packet.lostBefore > 0) {
            receiver.feedSilence(std::min<std::size_t>(
                static_cast<std::size_t>(packet.lostBefore) * frameSamples, mostGapSamples));
        }
        auto decoder = decoders.find(packet.codecMask);
        if (decoder == decoders.end()) {
            decoder = decoders.emplace(packet.codecMask, makeDecoder(packet.codecMask)).first;
        }
        decoded.clear();
        const bool heard = decoder->second && !packet.payload.cutByCapture;
        if (heard && !payloads(index, payload, error)) {
            return false;
        }
        track.startsAt(receiver.position(), index);
        if (heard && decoder->second->decode(payload, decoded)) {
            activity.add(decoded);
            receiver.feed(decoded);
        } else {
            receiver.feedSilence(frameSamples);
        }
    }
    receiver.feedSilence(frameSamples); // ends a tone still sounding
    const StreamPacket& first = stream.packets.front();
    for (const DtmfReceiver::Tone& tone : receiver.tones()) {
        const StreamPacket& packet = stream.packets[track.packetAt(tone.startSample)];
        calls::DtmfEvent event;
        event.call = stream.figures.call;
        event.fromCaller = stream.figures.fromCaller;
        event.digit = tone.digit;
        event.source = calls::DtmfEvent::Source::InBand;
        event.kind = calls::DtmfEvent::Kind::Tone;
        event.frame = packet.frameNumber;
        event.captured = later(stream.figures.start, packet.arrivalMs - first.arrivalMs);
        const std::uint64_t end = tone.endSample != 0 ? tone.endSample : receiver.position();
        event.durationMs = static_cast<double>(end - tone.startSample) * 1000.0 / sampleRate;
        into.tones.push_back(event);
    }
    return true;
}

} // namespace media
