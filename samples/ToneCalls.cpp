#include "samples/ToneCalls.h"

#include "media/Dtmf.h"
#include "media/VoiceCodecs.h"
#include "samples/ScriptedCall.h"
#include "record/IaxNumbers.h"

#include <bit>
#include <memory>
#include <cmath>
#include <numbers>
#include <optional>

namespace scenarios {
namespace {

using iaxgen::Bytes;
using namespace iax;

// 2026-03-01 09:00:00 UTC.
constexpr std::int64_t toneStart = 1772355600LL * 1000000;

// A voice full frame's subclass: small masks as they are, others by bit number.
std::uint8_t voiceSubclass(std::uint32_t mask) {
    return mask < 0x80 ? static_cast<std::uint8_t>(mask)
                       : static_cast<std::uint8_t>(0x80 | std::countr_zero(mask));
}

// A sine at `hz`, continuous from one payload to the next.
SampleSource tone(double hz) {
    return [hz, at = std::uint64_t{0}](std::size_t count) mutable {
        std::vector<std::int16_t> samples(count);
        for (auto& sample : samples) {
            sample = static_cast<std::int16_t>(
                std::lround(8000.0 * std::sin(2 * std::numbers::pi * hz *
                                              static_cast<double>(at++) / media::sampleRate)));
        }
        return samples;
    };
}

// Stands in for a codec without an encoder here: 24 bytes every 30 ms.
class FillerEncoder final : public media::VoiceEncoder {
public:
    std::size_t payloadSamples() const override { return 240; }
    std::vector<std::uint8_t> encode(std::span<const std::int16_t>) override {
        return std::vector<std::uint8_t>(24, 0x5A);
    }
};

// One direction's voice: its encoder, its sound and its clock.
struct Direction {
    std::unique_ptr<media::VoiceEncoder> encoder;
    SampleSource sound;
    std::uint16_t call;
    std::uint16_t peer;
    std::uint32_t timestamp = 0;

    Bytes nextPayload() { return encoder->encode(sound(encoder->payloadSamples())); }
    // The timestamp of the payload that starts at sample `sample`, in whole milliseconds.
    [[nodiscard]] std::uint32_t timestampAt(std::uint64_t sample) const {
        return static_cast<std::uint32_t>(100 + sample * 1000 / media::sampleRate);
    }
};

// What the voice of one call goes through on the way.
struct Impairments {
    bool lossDuplicateReorder = false; // the caller's 10th lost, 20th twice, 30th and 31st swapped
    bool brokenGsmFrame = false;       // the caller's 5th payload refused by the decoder
};

void voiceCall(const PacketSink& sink, std::int64_t startUs, std::uint16_t number,
               const ToneCall& plan, double seconds, Impairments impairments,
               SampleSource callerSound = {}, SampleSource calleeSound = {}) {
    ScriptedCall call(sink, startUs, number, static_cast<std::uint16_t>(number + 1000));
    call.setUp(plan.codecMask);
    auto encoder = [&] {
        auto made = media::makeEncoder(plan.codecMask);
        return made ? std::move(made) : std::unique_ptr<media::VoiceEncoder>(new FillerEncoder);
    };
    Direction voices[2] = {{encoder(), callerSound ? callerSound : tone(plan.callerHz), number,
                            static_cast<std::uint16_t>(number + 1000), 100},
                           {encoder(), calleeSound ? calleeSound : tone(plan.calleeHz),
                            static_cast<std::uint16_t>(number + 1000), number, 100}};
    const std::uint64_t payloadSamples = voices[0].encoder->payloadSamples();
    const auto frames = static_cast<std::uint32_t>(seconds * media::sampleRate / payloadSamples);
    const auto payloadUs =
        static_cast<std::int64_t>(payloadSamples * 1'000'000 / media::sampleRate);
    const std::uint8_t subclass = voiceSubclass(plan.codecMask);
    std::optional<Bytes> heldBack; // a frame sent after the next one
    for (std::uint32_t frame = 1; frame <= frames; ++frame) {
        Bytes payloads[2];
        for (int side = 0; side < 2; ++side) {
            Direction& voice = voices[side];
            voice.timestamp = voice.timestampAt((frame - 1) * payloadSamples);
            payloads[side] = voice.nextPayload();
        }
        if (impairments.brokenGsmFrame && frame == 5) {
            payloads[0][0] = 0x00;
        }
        if (plan.trunked && frame > 1) {
            // One trunk frame from each end, with per-entry timestamps.
            for (int side = 0; side < 2; ++side) {
                Bytes trunk{0x00, 0x00, 0x01, 0x01};
                for (int shift = 24; shift >= 0; shift -= 8) {
                    trunk.push_back(static_cast<std::uint8_t>(voices[side].timestamp >> shift));
                }
                const auto length = static_cast<std::uint16_t>(payloads[side].size());
                trunk.insert(trunk.end(), {static_cast<std::uint8_t>(length >> 8),
                                           static_cast<std::uint8_t>(length),
                                           static_cast<std::uint8_t>(voices[side].call >> 8),
                                           static_cast<std::uint8_t>(voices[side].call),
                                           static_cast<std::uint8_t>(voices[side].timestamp >> 8),
                                           static_cast<std::uint8_t>(voices[side].timestamp)});
                trunk.insert(trunk.end(), payloads[side].begin(), payloads[side].end());
                call.send(side == 0, trunk);
            }
        } else {
            for (int side = 0; side < 2; ++side) {
                const Direction& voice = voices[side];
                // A full frame starts the voice, and another each time the
                // 16 bits a mini frame carries wrap.
                const bool wraps =
                    frame > 1 && (voice.timestamp >> 16) !=
                                     (voice.timestampAt((frame - 2) * payloadSamples) >> 16);
                const Bytes packet =
                    frame == 1 || wraps
                        ? iaxgen::fullFrame({.sourceCall = voice.call,
                                             .destinationCall = voice.peer,
                                             .timestamp = voice.timestamp,
                                             .frameType = Voice,
                                             .subclass = subclass},
                                            payloads[side])
                        : iaxgen::miniFrame(voice.call, static_cast<std::uint16_t>(voice.timestamp),
                                            payloads[side]);
                if (side == 0 && impairments.lossDuplicateReorder) {
                    if (frame == 10) {
                        continue;
                    }
                    if (frame == 30) {
                        heldBack = packet;
                        continue;
                    }
                    call.send(true, packet);
                    if (frame == 20) {
                        call.send(true, packet);
                    }
                    if (frame == 31 && heldBack) {
                        call.send(true, *heldBack);
                    }
                    continue;
                }
                call.send(side == 0, packet);
            }
        }
        call.wait(payloadUs);
    }
    call.hangUp(voices[0].timestampAt(frames * payloadSamples));
}

} // namespace

std::vector<ToneCall> toneCallPlan() {
    std::vector<ToneCall> plan;
    bool trunked = false;
    for (const std::uint32_t mask :
         {0x4u, 0x8u, 0x40u, 0x2u, 0x10u, 0x20u, 0x100u, 0x200u, 0x80u}) {
        plan.push_back({mask, trunked});
        if (mask == 0x80) {
            plan.back().callerHz = 320.0;
            plan.back().calleeHz = 250.0;
        }
        trunked = !trunked;
    }
    plan.push_back({0x1u, false}); // G.723.1
    return plan;
}

void toneCalls(const PacketSink& sink, double seconds) {
    std::int64_t start = toneStart;
    std::uint16_t number = 1;
    for (const ToneCall& plan : toneCallPlan()) {
        voiceCall(sink, start, number, plan, seconds,
                  {.lossDuplicateReorder = number == 1, .brokenGsmFrame = plan.codecMask == 0x2});
        start += static_cast<std::int64_t>((seconds + 1) * 1'000'000);
        ++number;
    }
}

void longToneCall(const PacketSink& sink, double seconds) {
    voiceCall(sink, toneStart, 1, {0x4, false}, seconds, {});
}

void inBandDtmfCalls(const PacketSink& sink, const std::string& digits, double seconds) {
    std::int64_t start = toneStart;
    std::uint16_t number = 1;
    for (const ToneCall& plan : toneCallPlan()) {
        if (!media::makeDecoder(plan.codecMask)) {
            continue;
        }
        auto keys = std::make_shared<media::DtmfGenerator>(digits);
        voiceCall(sink, start, number, plan, seconds, {},
                  [keys](std::size_t count) { return keys->next(count); });
        start += static_cast<std::int64_t>((seconds + 1) * 1'000'000);
        ++number;
    }
}

} // namespace scenarios
