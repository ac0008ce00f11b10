#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// The voice codecs of IAX2, by their format bit mask, through the libraries
// that implement them: spandsp (G.711, GSM 06.10, G.726, IMA ADPCM, LPC10),
// bcg729 (G.729A) and libspeex (Speex). 16-bit linear needs none. Every
// codec here is 8,000 samples a second.
namespace media {

inline constexpr int sampleRate = 8000;

// Decodes one stream's payloads in the order they were sent, keeping the
// codec's state from one payload to the next.
class VoiceDecoder {
public:
    virtual ~VoiceDecoder() = default;
    // Appends the payload's samples. False, appending nothing, where the
    // payload cannot be one of the codec's (a size it never has, a frame
    // the library refuses).
    [[nodiscard]] virtual bool decode(std::span<const std::uint8_t> payload,
                                      std::vector<std::int16_t>& samples) = 0;
};

// Encodes samples for the generated test calls, one payload at a time.
class VoiceEncoder {
public:
    virtual ~VoiceEncoder() = default;
    // The samples one payload holds (20 ms, or 22.5 ms for LPC10).
    [[nodiscard]] virtual std::size_t payloadSamples() const = 0;
    // `samples` holds payloadSamples() samples.
    [[nodiscard]] virtual std::vector<std::uint8_t>
    encode(std::span<const std::int16_t> samples) = 0;
};

// The decoder of a codec, or nullptr where no library decodes it here
// (G.723.1, iLBC, a mask that names no codec).
std::unique_ptr<VoiceDecoder> makeDecoder(std::uint32_t codecMask);
std::unique_ptr<VoiceEncoder> makeEncoder(std::uint32_t codecMask);

// The codec's name as the frame table shows it ("G.711 uLaw"), or "codec
// 0x..." for a mask that names none.
std::string codecName(std::uint32_t codecMask);
// What is said of a call in a codec without a decoder: "no decoder for G.723.1".
std::string noDecoderText(std::uint32_t codecMask);

// The masks of the codecs that have a decoder, in bit order.
std::vector<std::uint32_t> decodableCodecs();

// The codec libraries and the versions built against: "spandsp 0.0.6"...
std::vector<std::string> codecLibraries();

} // namespace media
