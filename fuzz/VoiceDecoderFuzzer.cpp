// libFuzzer target: a codec chosen by the first byte, then payloads for it,
// each preceded by a byte that gives its length, fed in turn to one decoder,
// as a stream's payloads are. A decoder may refuse a payload; it must never
// read or write outside what it was given, nor give more samples than a
// payload of that size can hold. What it gives is listened to for DTMF.
#include "media/Dtmf.h"
#include "media/VoiceCodecs.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const auto codecs = media::decodableCodecs();
    const std::uint32_t codec = codecs[data[0] % codecs.size()];
    auto decoder = media::makeDecoder(codec);
    std::span<const std::uint8_t> rest(data + 1, size - 1);
    std::vector<std::int16_t> samples;
    media::DtmfReceiver receiver;
    while (!rest.empty()) {
        const std::size_t length = std::min<std::size_t>(rest[0], rest.size() - 1);
        const auto payload = rest.subspan(1, length);
        rest = rest.subspan(1 + length);
        const std::size_t before = samples.size();
        const bool decoded = decoder->decode(payload, samples);
        // No codec here makes more than 8 samples of a byte (G.711 makes 1,
        // LPC10 about 26 of 7 bytes... G.729's SID frame 40 of a byte).
        if ((!decoded && samples.size() != before) ||
            samples.size() - before > payload.size() * 40 + 160) {
            std::abort();
        }
        receiver.feed(std::span(samples).subspan(before));
    }
    for (const auto& tone : receiver.tones()) {
        if (tone.endSample != 0 && tone.endSample <= tone.startSample) {
            std::abort();
        }
    }
    return 0;
}
