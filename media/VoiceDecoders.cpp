#include "media/VoiceCodecs.h"

#include "common/Log.h"
#include "dissect/IaxValueNames.h"
#include "record/IaxNumbers.h"

// bcg729's headers do not declare C linkage themselves.
extern "C" {
#include <bcg729/decoder.h>
}
#include <spandsp.h>
#include <speex/speex.h>

#include <bit>
#include <cstdio>

namespace media {
namespace {

using namespace iax; // the codec masks

// Runs `decode(samples, frame)` over a payload made of whole frames of
// `frameBytes`, `frameSamples` each; false where the size is not whole frames.
template <class Decode>
bool decodeFrames(std::span<const std::uint8_t> payload, std::size_t frameBytes,
                  std::size_t frameSamples, std::vector<std::int16_t>& samples, Decode&& decode) {
    if (payload.empty() || payload.size() % frameBytes != 0) {
        return false;
    }
    const std::size_t start = samples.size();
    samples.resize(start + payload.size() / frameBytes * frameSamples);
    for (std::size_t at = 0, out = start; at < payload.size();
         at += frameBytes, out += frameSamples) {
        if (!decode(payload.subspan(at, frameBytes), samples.data() + out)) {
            samples.resize(start);
            return false;
        }
    }
    return true;
}

class G711Decoder final : public VoiceDecoder {
public:
    explicit G711Decoder(int mode) : state_(g711_init(nullptr, mode)) {}
    ~G711Decoder() override { g711_free(state_); }
    bool decode(std::span<const std::uint8_t> payload,
                std::vector<std::int16_t>& samples) override {
        const std::size_t start = samples.size();
        samples.resize(start + payload.size());
        g711_decode(state_, samples.data() + start, payload.data(),
                    static_cast<int>(payload.size()));
        return !payload.empty();
    }

private:
    g711_state_t* state_;
};

// Big-endian, as IAX2 peers send it: network byte order.
class SlinearDecoder final : public VoiceDecoder {
public:
    bool decode(std::span<const std::uint8_t> payload,
                std::vector<std::int16_t>& samples) override {
        if (payload.empty() || payload.size() % 2 != 0) {
            return false;
        }
        for (std::size_t at = 0; at < payload.size(); at += 2) {
            samples.push_back(static_cast<std::int16_t>(payload[at] << 8 | payload[at + 1]));
        }
        return true;
    }
};

class GsmDecoder final : public VoiceDecoder {
public:
    GsmDecoder() : state_(gsm0610_init(nullptr, GSM0610_PACKING_VOIP)) {}
    ~GsmDecoder() override { gsm0610_free(state_); }
    bool decode(std::span<const std::uint8_t> payload,
                std::vector<std::int16_t>& samples) override {
        return decodeFrames(payload, 33, 160, samples, [this](auto frame, std::int16_t* out) {
            // Every 33-byte frame starts with the signature nibble 0xD.
            return (frame[0] >> 4) == 0xD && gsm0610_decode(state_, out, frame.data(), 33) == 160;
        });
    }

private:
    gsm0610_state_t* state_;
};

// A spandsp decoder of a codec with two samples a byte whose state runs on
// from one payload to the next: `Decode(state, samples, bytes, count)`.
template <class State, auto Decode, auto Free> class NibbleDecoder final : public VoiceDecoder {
public:
    explicit NibbleDecoder(State* state) : state_(state) {}
    ~NibbleDecoder() override { Free(state_); }
    bool decode(std::span<const std::uint8_t> payload,
                std::vector<std::int16_t>& samples) override {
        if (payload.empty()) {
            return false;
        }
        const std::size_t start = samples.size();
        samples.resize(start + payload.size() * 2);
        const int made = Decode(state_, samples.data() + start, payload.data(),
                                static_cast<int>(payload.size()));
        samples.resize(start + static_cast<std::size_t>(std::max(made, 0)));
        return made > 0;
    }

private:
    State* state_;
};

class Lpc10Decoder final : public VoiceDecoder {
public:
    Lpc10Decoder() : state_(lpc10_decode_init(nullptr, 0)) {}
    ~Lpc10Decoder() override { lpc10_decode_free(state_); }
    bool decode(std::span<const std::uint8_t> payload,
                std::vector<std::int16_t>& samples) override {
        return decodeFrames(payload, 7, 180, samples, [this](auto frame, std::int16_t* out) {
            return lpc10_decode(state_, out, frame.data(), 7) == 180;
        });
    }

private:
    lpc10_decode_state_t* state_;
};

// G.729A: 10-byte frames of 10 ms, the last of a payload may be a 2-byte
// comfort-noise (SID) frame.
class G729Decoder final : public VoiceDecoder {
public:
    G729Decoder() : state_(initBcg729DecoderChannel()) {}
    ~G729Decoder() override { closeBcg729DecoderChannel(state_); }
    bool decode(std::span<const std::uint8_t> payload,
                std::vector<std::int16_t>& samples) override {
        const std::size_t sid = payload.size() % 10;
        if (payload.empty() || (sid != 0 && sid != 2)) {
            return false;
        }
        const std::size_t frames = payload.size() / 10 + (sid != 0 ? 1 : 0);
        const std::size_t start = samples.size();
        samples.resize(start + frames * 80);
        for (std::size_t i = 0; i < frames; ++i) {
            const bool isSid = sid != 0 && i == frames - 1;
            bcg729Decoder(state_, payload.data() + i * 10, isSid ? 2 : 10, 0, isSid ? 1 : 0, 0,
                          samples.data() + start + i * 80);
        }
        return true;
    }

private:
    bcg729DecoderChannelContextStruct* state_;
};

// Narrowband Speex: one or more 20 ms frames in a payload, each as long as
// its mode makes it.
class SpeexDecoder final : public VoiceDecoder {
public:
    SpeexDecoder() : state_(speex_decoder_init(&speex_nb_mode)) {
        speex_bits_init(&bits_);
        speex_decoder_ctl(state_, SPEEX_GET_FRAME_SIZE, &frameSize_);
    }
    ~SpeexDecoder() override {
        speex_bits_destroy(&bits_);
        speex_decoder_destroy(state_);
    }
    bool decode(std::span<const std::uint8_t> payload,
                std::vector<std::int16_t>& samples) override {
        if (payload.empty() || payload.size() > 0x7FFF) {
            return false;
        }
        speex_bits_read_from(&bits_, reinterpret_cast<const char*>(payload.data()),
                             static_cast<int>(payload.size()));
        const std::size_t start = samples.size();
        // The shortest narrowband frame is 43 bits: no payload holds more frames than that allows.
        const std::size_t most = payload.size() * 8 / 43 + 1;
        for (std::size_t frame = 0; frame < most && speex_bits_remaining(&bits_) >= 5; ++frame) {
            if (const char* why = refusal()) {
                kvlog::debug("Speex payload refused: ", why);
                samples.resize(start);
                return false;
            }
            const std::size_t at = samples.size();
            samples.resize(at + static_cast<std::size_t>(frameSize_));
            const int result = speex_decode_int(state_, &bits_, samples.data() + at);
            if (result == -1) { // the end of the payload's frames
                samples.resize(at);
                break;
            }
            if (result != 0 || speex_bits_remaining(&bits_) < 0) {
                samples.resize(start);
                return false;
            }
        }
        if (samples.size() == start) {
            return false;
        }
        return true;
    }

private:
    // Why the decoder would call the frame at the read position corrupt, or
    // nullptr. libspeex prints that on standard error itself, for every
    // payload, so the frame is looked at first: the modes it reads (with the
    // in-band and user requests it skips) on a copy of the read position.
    // A wideband layer is refused too: IAX2 carries narrowband Speex.
    [[nodiscard]] const char* refusal() const {
        SpeexBits probe = bits_; // reading moves only the copy's position
        for (;;) {
            if (speex_bits_remaining(&probe) < 5) {
                return nullptr;
            }
            if (speex_bits_unpack_unsigned(&probe, 1) != 0) {
                return "a wideband layer in a narrowband stream";
            }
            const unsigned mode = speex_bits_unpack_unsigned(&probe, 4);
            if (mode == 14) { // an in-band request: its size follows from its number
                const unsigned id = speex_bits_unpack_unsigned(&probe, 4);
                speex_bits_advance(&probe, id < 2    ? 1
                                           : id < 8  ? 4
                                           : id < 10 ? 8
                                           : id < 12 ? 16
                                           : id < 14 ? 32
                                                     : 64);
                continue;
            }
            if (mode == 13) { // a user request: its size in bytes follows
                speex_bits_advance(&probe,
                                   5 + 8 * static_cast<int>(speex_bits_unpack_unsigned(&probe, 4)));
                continue;
            }
            return mode > 8 && mode < 15 ? "an invalid mode" : nullptr;
        }
    }

    void* state_;
    SpeexBits bits_{};
    int frameSize_ = 160;
};

} // namespace

std::unique_ptr<VoiceDecoder> makeDecoder(std::uint32_t codecMask) {
    switch (codecMask) {
    case Ulaw:
        return std::make_unique<G711Decoder>(G711_ULAW);
    case Alaw:
        return std::make_unique<G711Decoder>(G711_ALAW);
    case Slinear:
        return std::make_unique<SlinearDecoder>();
    case Gsm:
        return std::make_unique<GsmDecoder>();
    case G726:
        // 32 kbit/s, the nibbles packed as IAX2 peers send format 0x10 (the
        // AAL2 order, first sample in the high nibble).
        return std::make_unique<NibbleDecoder<g726_state_t, g726_decode, g726_free>>(
            g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_LEFT));
    case Adpcm:
        // IMA ADPCM with no per-payload header.
        return std::make_unique<NibbleDecoder<ima_adpcm_state_t, ima_adpcm_decode, ima_adpcm_free>>(
            ima_adpcm_init(nullptr, IMA_ADPCM_DVI4, 1));
    case Lpc10:
        return std::make_unique<Lpc10Decoder>();
    case G729:
        return std::make_unique<G729Decoder>();
    case Speex:
        return std::make_unique<SpeexDecoder>();
    default:
        return nullptr;
    }
}

std::vector<std::uint32_t> decodableCodecs() {
    return {Gsm, Ulaw, Alaw, G726, Adpcm, Slinear, Lpc10, G729, Speex};
}

std::string codecName(std::uint32_t codecMask) {
    if (std::popcount(codecMask) == 1) {
        if (const char* name =
                iaxvalues::shownCodecName(static_cast<unsigned>(std::countr_zero(codecMask)))) {
            return name;
        }
    }
    char text[24];
    std::snprintf(text, sizeof text, "codec 0x%08x", codecMask);
    return text;
}

std::string noDecoderText(std::uint32_t codecMask) {
    return "no decoder for " + codecName(codecMask);
}

} // namespace media
