#include "media/VoiceCodecs.h"
#include "record/IaxNumbers.h"

// bcg729's headers do not declare C linkage themselves.
extern "C" {
#include <bcg729/encoder.h>
}
#include <spandsp.h>
#include <speex/speex.h>

namespace media {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An encoder of one of spandsp's codecs: `Encode(state, out, samples, count)`
// returns the bytes it wrote.
template <class State, auto Encode, auto Free> class SpandspEncoder final : public VoiceEncoder {
public:
    SpandspEncoder(State* state, std::size_t samples, std::size_t maxBytes)
        : state_(state), samples_(samples), maxBytes_(maxBytes) {}
    ~SpandspEncoder() override { Free(state_); }
    std::size_t payloadSamples() const override { return samples_; }
    Bytes encode(std::span<const std::int16_t> samples) override {
        Bytes out(maxBytes_);
        const int made =
            Encode(state_, out.data(), samples.data(), static_cast<int>(samples.size()));
        out.resize(static_cast<std::size_t>(std::max(made, 0)));
        return out;
    }

private:
    State* state_;
    std::size_t samples_, maxBytes_;
};

class SlinearEncoder final : public VoiceEncoder {
public:
    std::size_t payloadSamples() const override { return 160; }
    Bytes encode(std::span<const std::int16_t> samples) override {
        Bytes out;
        for (const std::int16_t sample : samples) {
            out.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(sample) >> 8));
            out.push_back(static_cast<std::uint8_t>(sample));
        }
        return out;
    }
};

class G729Encoder final : public VoiceEncoder {
public:
    G729Encoder() : state_(initBcg729EncoderChannel(0)) {}
    ~G729Encoder() override { closeBcg729EncoderChannel(state_); }
    std::size_t payloadSamples() const override { return 160; }
    Bytes encode(std::span<const std::int16_t> samples) override {
        Bytes out;
        for (std::size_t at = 0; at + 80 <= samples.size(); at += 80) {
            std::uint8_t frame[10] = {};
            std::uint8_t length = 0;
            bcg729Encoder(state_, samples.data() + at, frame, &length);
            out.insert(out.end(), frame, frame + length);
        }
        return out;
    }

private:
    bcg729EncoderChannelContextStruct* state_;
};

class SpeexEncoder final : public VoiceEncoder {
public:
    SpeexEncoder() : state_(speex_encoder_init(&speex_nb_mode)) {
        int quality = 8;
        speex_encoder_ctl(state_, SPEEX_SET_QUALITY, &quality);
        speex_bits_init(&bits_);
    }
    ~SpeexEncoder() override {
        speex_bits_destroy(&bits_);
        speex_encoder_destroy(state_);
    }
    std::size_t payloadSamples() const override { return 160; }
    Bytes encode(std::span<const std::int16_t> samples) override {
        std::vector<spx_int16_t> frame(samples.begin(), samples.end());
        speex_bits_reset(&bits_);
        speex_encode_int(state_, frame.data(), &bits_);
        Bytes out(static_cast<std::size_t>(speex_bits_nbytes(&bits_)));
        out.resize(static_cast<std::size_t>(speex_bits_write(
            &bits_, reinterpret_cast<char*>(out.data()), static_cast<int>(out.size()))));
        return out;
    }

private:
    void* state_;
    SpeexBits bits_{};
};

} // namespace

std::unique_ptr<VoiceEncoder> makeEncoder(std::uint32_t codecMask) {
    switch (codecMask) {
    case iax::Ulaw:
        return std::make_unique<SpandspEncoder<g711_state_t, g711_encode, g711_free>>(
            g711_init(nullptr, G711_ULAW), 160, 160);
    case iax::Alaw:
        return std::make_unique<SpandspEncoder<g711_state_t, g711_encode, g711_free>>(
            g711_init(nullptr, G711_ALAW), 160, 160);
    case iax::Slinear:
        return std::make_unique<SlinearEncoder>();
    case iax::Gsm:
        return std::make_unique<SpandspEncoder<gsm0610_state_t, gsm0610_encode, gsm0610_free>>(
            gsm0610_init(nullptr, GSM0610_PACKING_VOIP), 160, 33);
    case iax::G726:
        return std::make_unique<SpandspEncoder<g726_state_t, g726_encode, g726_free>>(
            g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_LEFT), 160, 80);
    case iax::Adpcm:
        return std::make_unique<
            SpandspEncoder<ima_adpcm_state_t, ima_adpcm_encode, ima_adpcm_free>>(
            ima_adpcm_init(nullptr, IMA_ADPCM_DVI4, 1), 160, 80);
    case iax::Lpc10:
        return std::make_unique<
            SpandspEncoder<lpc10_encode_state_t, lpc10_encode, lpc10_encode_free>>(
            lpc10_encode_init(nullptr, 0), 180, 7);
    case iax::G729:
        return std::make_unique<G729Encoder>();
    case iax::Speex:
        return std::make_unique<SpeexEncoder>();
    default:
        return nullptr;
    }
}

} // namespace media
