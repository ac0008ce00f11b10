#include "samples/QualityCalls.h"

#include "media/VoiceCodecs.h"
#include "record/IaxNumbers.h"
#include "samples/ScriptedCall.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace scenarios {
namespace {

using iaxgen::Bytes;
using iaxgen::Elements;
using namespace iax;

// 2026-03-02 10:00:00 UTC.
constexpr std::int64_t qualityStart = 1772445600LL * 1000000;
constexpr std::uint8_t dtmfEnd = 1, dtmfBegin = 12;

// Collects packets written out of time order and hands them on in time order.
class TimeOrder {
public:
    explicit TimeOrder(const PacketSink& sink) : sink_(sink) {}
    ~TimeOrder() {
        std::stable_sort(packets_.begin(), packets_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [us, packet] : packets_) {
            sink_(packet, us);
        }
    }
    PacketSink collector() {
        return [this](const Bytes& packet, std::int64_t us) { packets_.emplace_back(us, packet); };
    }

private:
    const PacketSink& sink_;
    std::vector<std::pair<std::int64_t, Bytes>> packets_;
};

Bytes ulawPayload(media::VoiceEncoder& encoder, double hz, std::uint64_t& at) {
    std::vector<std::int16_t> samples(160);
    for (auto& sample : samples) {
        sample = hz == 0 ? 0
                         : static_cast<std::int16_t>(
                               std::lround(8000.0 * std::sin(2 * std::numbers::pi * hz *
                                                             static_cast<double>(at++) / 8000)));
    }
    return encoder.encode(samples);
}

// Call 1, G.711 u-law, 300 frames (6 s) each way as mini frames, 20 ms apart.
// The caller's frames 50-52 and 100 never come; frame 200 comes 80 ms late
// and frame 250 120 ms late (both after later ones: out of order; late for a
// 50 ms jitter buffer, only 250 for 100 ms). The callee sends silence: one-way
// audio. PINGs at timestamps 1000 and 3000 are answered 30 and 50 ms later,
// a LAGRQ at 2000 80 ms later; the callee's PONGs report on the caller's
// stream, the second with 7 lost where the capture sees 4. The caller
// signals DTMF 4 (begin and end) and 2 (end, then resent with the R bit).
void measuredCall(const PacketSink& sink) {
    TimeOrder order(sink);
    const PacketSink collect = order.collector();
    ScriptedCall call(collect, qualityStart, 1, 1001);
    call.setUp(Ulaw);
    const std::int64_t voiceStart = call.now();
    auto encoders = std::array{media::makeEncoder(Ulaw), media::makeEncoder(Ulaw)};
    std::uint64_t at[2] = {0, 0};
    for (std::uint32_t k = 0; k < 300; ++k) {
        const std::uint32_t timestamp = 100 + 20 * k;
        const std::int64_t sent = voiceStart + 20000LL * k;
        const Bytes caller = ulawPayload(*encoders[0], 1000, at[0]);
        const Bytes callee = ulawPayload(*encoders[1], 0, at[1]);
        const bool lost = (k >= 50 && k <= 52) || k == 100;
        const std::int64_t delay = k == 200 ? 80000 : k == 250 ? 120000 : 0;
        if (!lost) {
            call.moveTo(sent + delay);
            if (k == 0) {
                call.voice(true, Ulaw, timestamp, caller);
            } else {
                call.mini(true, timestamp, caller);
            }
        }
        call.moveTo(sent + 1000);
        call.mini(false, timestamp, callee);
    }
    auto report = [](std::uint32_t lost) {
        return Elements()
            .u32(46, 12)
            .u32(47, 3u << 24 | lost)
            .u32(48, 150)
            .u16(49, 40)
            .u32(50, 1)
            .u32(51, 2);
    };
    const auto probe = [&](std::uint32_t timestamp, std::uint8_t ask, std::uint8_t answer,
                           std::int64_t afterUs, const Elements& elements) {
        const std::int64_t sent = voiceStart + (timestamp - 100) * 1000LL + 5000;
        call.moveTo(sent);
        call.full(true, IaxControl, ask, timestamp);
        call.moveTo(sent + afterUs);
        call.full(false, IaxControl, answer, timestamp, elements);
    };
    probe(1000, Ping, Pong, 30000, report(2));
    probe(2000, LagRequest, LagReply, 80000, {});
    probe(3000, Ping, Pong, 50000, report(7));
    const auto key = [&](std::uint32_t timestamp, std::uint8_t type, char digit, bool resent) {
        call.moveTo(voiceStart + (timestamp - 100) * 1000LL + 7000 + (resent ? 3000 : 0));
        call.full(true, type, static_cast<std::uint8_t>(digit), timestamp, {}, resent);
    };
    key(4000, dtmfBegin, '4', false);
    key(4100, dtmfEnd, '4', false);
    key(4300, dtmfEnd, '2', false);
    key(4300, dtmfEnd, '2', true);
    call.moveTo(voiceStart + 6000000 + 20000);
    call.hangUp(6200);
}

// Call 2: rung, never answered, hung up with cause 19 (no answer).
// Call 3: rejected with cause 21.
void unansweredCalls(const PacketSink& sink, std::int64_t start) {
    ScriptedCall rung(sink, start, 2, 1002);
    rung.full(true, IaxControl, New, 3, Elements().text(1, "201").u32(8, Ulaw).u32(9, Ulaw));
    rung.wait(5000);
    rung.full(false, IaxControl, Accept, 2, Elements().u32(9, Ulaw));
    rung.wait(20000);
    rung.full(false, Control, Ringing, 30);
    rung.wait(3000000);
    rung.hangUp(3040, 19);

    ScriptedCall refused(sink, rung.now() + 100000, 3, 1003);
    refused.full(true, IaxControl, New, 3, Elements().text(1, "202").u32(8, Ulaw).u32(9, Ulaw));
    refused.wait(5000);
    refused.full(false, IaxControl, Reject, 4, Elements().text(22, "Call rejected").u8(42, 21));
}

// Call 4, G.711 u-law for 2 s: the caller's frames come ten at a time every
// 200 ms (jitter past 30 ms), its 20th twice; it asks for frames again
// (VNAK) and resends one; the callee sends one voice full frame in a-law
// though it accepted u-law, and answers a frame with INVAL.
void troubledCall(const PacketSink& sink, std::int64_t start) {
    TimeOrder order(sink);
    const PacketSink collect = order.collector();
    ScriptedCall call(collect, start, 4, 1004);
    call.setUp(Ulaw);
    const std::int64_t voiceStart = call.now();
    auto encoder = media::makeEncoder(Ulaw);
    std::uint64_t at = 0;
    for (std::uint32_t k = 0; k < 100; ++k) {
        const std::uint32_t timestamp = 100 + 20 * k;
        const Bytes payload = ulawPayload(*encoder, 440, at);
        call.moveTo(voiceStart + 200000LL * (k / 10) + 100LL * (k % 10));
        if (k == 0) {
            call.voice(true, Ulaw, timestamp, payload);
        } else {
            call.mini(true, timestamp, payload);
        }
        if (k == 20) {
            call.mini(true, timestamp, payload);
        }
        call.moveTo(voiceStart + 20000LL * k + 500);
        if (k == 0 || k == 50) {
            call.voice(false, k == 0 ? Ulaw : Alaw, timestamp, payload);
        } else {
            call.mini(false, timestamp, payload);
        }
    }
    call.moveTo(voiceStart + 700000);
    call.full(true, IaxControl, Vnak, 800);
    call.wait(1000);
    call.full(false, Control, Answer, 50, {}, true);
    call.wait(1000);
    call.full(false, IaxControl, Inval, 810);
    call.moveTo(voiceStart + 2100000);
    call.hangUp(2200);
}

// A peer's registration, refused.
void refusedRegistration(const PacketSink& sink, std::int64_t start) {
    ScriptedCall peer(sink, start, 9, 0);
    peer.full(true, IaxControl, RegRequest, 3, Elements().text(6, "phone9").u16(7, 60));
    peer.wait(4000);
    ScriptedCall registrar(sink, peer.now(), 9, 1009);
    registrar.full(false, IaxControl, RegReject, 4, Elements().text(22, "No such user").u8(42, 29));
}

} // namespace

void qualityCalls(const PacketSink& sink) {
    measuredCall(sink);
    const std::int64_t later = qualityStart + 8000000;
    unansweredCalls(sink, later);
    troubledCall(sink, later + 4000000);
    refusedRegistration(sink, later + 7000000);
}

} // namespace scenarios
