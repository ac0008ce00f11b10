#include "media/CallAudio.h"

#include "media/VoiceCodecs.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

namespace media {
namespace {

using quality::StreamPacket;
using quality::VoiceStream;

constexpr double samplesPerMs = sampleRate / 1000.0;

std::string tooLongText() {
    return "the call's audio would last more than " +
           std::to_string(static_cast<int>(maxAudioSeconds / 3600)) +
           " hours: its timestamps or capture times jump too far";
}

// Where a frame starts, in milliseconds since the call's first frame: as
// sent, the stream's first arrival plus the sender's clock since then.
double placeOf(const VoiceStream& stream, const StreamPacket& packet, Timing timing) {
    if (timing == Timing::Arrived) {
        return packet.arrivalMs;
    }
    const StreamPacket& first = stream.packets.front();
    return first.arrivalMs +
           (static_cast<double>(packet.timestamp) - static_cast<double>(first.timestamp));
}

class ChannelRenderer {
public:
    ChannelRenderer(CallAudio& audio, int channel, double originMs, std::uint64_t maxFrames)
        : audio_(audio), channel_(channel), originMs_(originMs), maxFrames_(maxFrames) {}

    bool render(const VoiceStream& stream, const PayloadReader& payloads, Timing timing,
                std::string& error) {
        ChannelReport& report = audio_.channels[channel_];
        report.present = true;
        report.codec = codecName(stream.packets.front().codecMask);
        const double frameMs = stream.figures.frameMs.value_or(0);
        std::vector<std::uint8_t> payload;
        std::vector<std::int16_t> decoded;
        for (const std::size_t index : quality::sendingOrder(stream.packets)) {
            const StreamPacket& packet = stream.packets[index];
            const std::uint64_t at = sampleAt(placeOf(stream, packet, timing));
            if (packet.lostBefore > 0) {
                report.lost += packet.lostBefore;
                // As sent, the missing frames lie just before this one; as
                // arrived, the gap is heard where this one came.
                const auto gap = timing == Timing::Sent
                                     ? static_cast<std::uint64_t>(
                                           std::llround(packet.lostBefore * frameMs * samplesPerMs))
                                     : 0;
                mark(AudioMark::Kind::Lost, at - std::min(at, gap), packet.lostBefore);
            }
            VoiceDecoder* decoder = decoderFor(packet.codecMask, report);
            if (decoder == nullptr) {
                ++report.undecodable;
                continue;
            }
            if (packet.payload.cutByCapture) {
                ++report.cutByCapture;
                mark(AudioMark::Kind::CutByCapture, at, 1);
                continue;
            }
            if (!payloads(index, payload, error)) {
                return false;
            }
            decoded.clear();
            if (!decoder->decode(payload, decoded)) {
                ++report.rejected;
                mark(AudioMark::Kind::Rejected, at, 1);
                continue;
            }
            ++report.decoded;
            if (!place(at, decoded, error)) {
                return false;
            }
        }
        return true;
    }

private:
    std::uint64_t sampleAt(double ms) const {
        return static_cast<std::uint64_t>(
            std::llround(std::max(0.0, ms - originMs_) * samplesPerMs));
    }

    VoiceDecoder* decoderFor(std::uint32_t codecMask, ChannelReport& report) {
        auto found = decoders_.find(codecMask);
        if (found == decoders_.end()) {
            found = decoders_.emplace(codecMask, makeDecoder(codecMask)).first;
            if (!found->second && report.problem.empty()) {
                report.problem = noDecoderText(codecMask);
            }
        }
        return found->second.get();
    }

    void mark(AudioMark::Kind kind, std::uint64_t sample, std::uint32_t frames) {
        audio_.marks.push_back({kind, channel_, sample, frames});
    }

    bool place(std::uint64_t at, const std::vector<std::int16_t>& decoded, std::string& error) {
        const std::uint64_t end = at + decoded.size();
        if (end > maxFrames_) {
            error = tooLongText();
            return false;
        }
        if (audio_.samples.size() < end * 2) {
            audio_.samples.resize(end * 2);
        }
        std::int16_t* out = audio_.samples.data() + at * 2 + static_cast<std::size_t>(channel_);
        for (const std::int16_t sample : decoded) {
            *out = sample;
            out += 2;
        }
        return true;
    }

    CallAudio& audio_;
    int channel_;
    double originMs_;
    std::uint64_t maxFrames_;
    std::map<std::uint32_t, std::unique_ptr<VoiceDecoder>> decoders_;
};

} // namespace

std::string memoryLimitText(const std::string& what, std::uint64_t bytes) {
    return "memory limit reached: " + what + " would need about " +
           std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB";
}

bool renderCallAudio(const std::vector<VoiceStream>& streams, CapturePackets& packets,
                     Timing timing, CallAudio& audio, std::string& error,
                     const std::shared_ptr<MemoryBudget>& budget) {
    return renderCallAudio(
        streams, [&](std::size_t s) { return fileReaderOf(packets, streams[s]); }, timing, audio,
        error, budget);
}

bool renderCallAudio(const std::vector<VoiceStream>& streams, const StreamReaders& readerOf,
                     Timing timing, CallAudio& audio, std::string& error,
                     const std::shared_ptr<MemoryBudget>& budget) {
    audio = CallAudio{};
    audio.charge = MemoryCharge(budget);
    // Both channels share one origin, the earliest frame of either, so
    // that they stay in step.
    bool any = false;
    double origin = 0, last = 0;
    for (const VoiceStream& stream : streams) {
        for (const StreamPacket& packet : stream.packets) {
            const double at = placeOf(stream, packet, timing);
            origin = any ? std::min(origin, at) : at;
            last = any ? std::max(last, at) : at;
            any = true;
        }
    }
    if (!any) {
        error = "the call carries no voice";
        return false;
    }
    if ((last - origin) / 1000.0 > maxAudioSeconds) {
        error = tooLongText();
        return false;
    }
    audio.originMs = origin;
    const auto maxFrames = static_cast<std::uint64_t>(maxAudioSeconds * sampleRate);
    // Most of the length is known before decoding: one allocation, not a
    // doubling, and charged before it is made.
    const double expectedFrames = (last - origin) * samplesPerMs + sampleRate;
    const auto reserved = static_cast<std::size_t>(std::min<double>(expectedFrames, maxFrames)) * 2;
    if (!audio.charge.setTo(reserved * sizeof(std::int16_t))) {
        error = memoryLimitText("the call's audio", reserved * sizeof(std::int16_t));
        return false;
    }
    audio.samples.reserve(reserved);
    for (std::size_t s = 0; s < streams.size(); ++s) {
        const VoiceStream& stream = streams[s];
        const int channel = stream.figures.fromCaller ? 0 : 1;
        if (!ChannelRenderer(audio, channel, origin, maxFrames)
                 .render(stream, readerOf(s), timing, error)) {
            audio.samples = {};
            audio.charge.forceTo(0);
            return false;
        }
    }
    audio.charge.forceTo(audio.samples.capacity() * sizeof(std::int16_t) +
                         audio.marks.capacity() * sizeof(AudioMark));
    std::stable_sort(
        audio.marks.begin(), audio.marks.end(), [](const AudioMark& a, const AudioMark& b) {
            return a.channel != b.channel ? a.channel < b.channel : a.sample < b.sample;
        });
    return true;
}

} // namespace media
