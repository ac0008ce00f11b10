#pragma once

#include <cstdint>
#include <optional>

// How a call sounded, by the E-model of ITU-T G.107 with its defaults for
// everything a capture cannot know (room noise, echo, the terminals): the
// codec's impairment, the loss after the receiver's jitter buffer with its
// burstiness, and the one-way delay.
namespace quality {

// A codec's equipment impairment factor (Ie) and packet-loss robustness
// factor (Bpl), from ITU-T G.113 Appendix I (Tables I.1 and I.3); nothing
// where G.113 gives no figure for it.
struct CodecImpairment {
    std::optional<double> ie;
    std::optional<double> bpl;
};
[[nodiscard]] CodecImpairment codecImpairment(std::uint32_t codecMask);

// The loss pattern over a stream's expected slots: p is the chance that a
// received slot is followed by a lost one, q that a lost slot is followed
// by a received one; the burst ratio is 1 / (p + q), or 1 where p + q is 0.
[[nodiscard]] double burstRatio(double p, double q);

struct Rating {
    double rFactor = 0;
    double mos = 0;
};
// `lossPercent` (Ppl) after the jitter buffer, `delayMs` (Ta) one way.
[[nodiscard]] Rating rate(const CodecImpairment& codec, double lossPercent, double burstRatio,
                          double delayMs);
// The mean opinion score of an R factor (G.107 Annex B).
[[nodiscard]] double mosOf(double rFactor);

} // namespace quality
