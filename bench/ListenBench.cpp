// In-band DTMF detection against decoding, on an hour of G.711 u-law made in
// memory: a 1 kHz tone (loud all through, so that no block is passed over
// as silence) with a digit dialled every ten seconds. Times decoding every
// payload, then listening to the decoded audio for digits, and says what
// share of the decoding the listening costs.
//   listen_bench [SECONDS]
#include "media/Dtmf.h"
#include "media/VoiceCodecs.h"
#include "record/IaxNumbers.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3600;
    const auto payloads = static_cast<std::size_t>(seconds * 50);
    auto encoder = media::makeEncoder(iax::Ulaw);
    std::vector<std::vector<std::uint8_t>> encoded;
    encoded.reserve(payloads);
    std::uint64_t at = 0;
    for (std::size_t p = 0; p < payloads; ++p) {
        std::vector<std::int16_t> samples(160);
        // Every 500 payloads (10 s), a digit of 100 ms over the tone's silence.
        if (p % 500 < 5) {
            media::DtmfGenerator key(std::string(1, "0123456789*#"[p / 500 % 12]), 100, 0);
            samples = key.next(160 * (p % 500 + 1));
            samples.erase(samples.begin(), samples.end() - 160);
        } else {
            for (auto& sample : samples) {
                sample = static_cast<std::int16_t>(
                    std::lround(8000 * std::sin(2 * std::numbers::pi * 1000 * at++ / 8000.0)));
            }
        }
        encoded.push_back(encoder->encode(samples));
    }
    auto decoder = media::makeDecoder(iax::Ulaw);
    std::vector<std::int16_t> audio;
    audio.reserve(payloads * 160);
    auto start = std::chrono::steady_clock::now();
    for (const auto& payload : encoded) {
        (void)decoder->decode(payload, audio);
    }
    const double decoding = secondsSince(start);
    media::DtmfReceiver receiver;
    start = std::chrono::steady_clock::now();
    for (std::size_t p = 0; p < payloads; ++p) {
        receiver.feed(std::span(audio).subspan(p * 160, 160));
    }
    const double listening = secondsSince(start);
    std::printf("%.0f s of G.711 (%zu payloads): decoding %.3f s, DTMF detection %.3f s "
                "(%.2f ns a sample), %zu digits heard of %zu dialled\n",
                seconds, payloads, decoding, listening,
                listening * 1e9 / static_cast<double>(audio.size()), receiver.tones().size(),
                (payloads + 499) / 500);
    return 0;
}
