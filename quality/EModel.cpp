#include "quality/EModel.h"

#include "record/IaxNumbers.h"

namespace quality {

CodecImpairment codecImpairment(std::uint32_t codecMask) {
    switch (codecMask) {
    case iax::Ulaw: // G.711 with packet loss concealment (Table I.3)
    case iax::Alaw:
    case iax::Slinear: // no coding at all: as G.711
        return {0.0, 25.1};
    case iax::G729: // G.729A with VAD (Table I.3)
        return {11.0, 19.0};
    case iax::G7231: // G.723.1 at 6.3 kbit/s with VAD (Table I.3)
        return {15.0, 16.1};
    case iax::Gsm: // GSM 06.10 full rate: Ie in Table I.1, no Bpl
        return {20.0, std::nullopt};
    case iax::G726: // G.726 at 32 kbit/s: Ie in Table I.1, no Bpl
        return {7.0, std::nullopt};
    default: // IMA ADPCM, LPC10, Speex, iLBC: no figures in G.113
        return {};
    }
}

double burstRatio(double p, double q) {
    return p + q > 0 ? 1.0 / (p + q) : 1.0;
}

double mosOf(double r) {
    if (r < 0) {
        return 1.0;
    }
    if (r > 100) {
        return 4.5;
    }
    return 1.0 + 0.035 * r + 7e-6 * r * (r - 60.0) * (100.0 - r);
}

Rating rate(const CodecImpairment& codec, double lossPercent, double burstRatio, double delayMs) {
    const double ie = codec.ie.value_or(0);
    const double bpl = codec.bpl.value_or(1);
    const double ieEffective = ie + (95.0 - ie) * lossPercent / (lossPercent / burstRatio + bpl);
    const double id = 0.024 * delayMs + (delayMs > 177.3 ? 0.11 * (delayMs - 177.3) : 0.0);
    Rating rating;
    rating.rFactor = 93.2 - id - ieEffective;
    rating.mos = mosOf(rating.rFactor);
    return rating;
}

} // namespace quality
