#include "media/WavFile.h"

#include "common/NewFile.h"
#include "media/VoiceCodecs.h"

#include <array>

namespace media {
namespace {

void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, static_cast<std::uint16_t>(value));
    put16(out, static_cast<std::uint16_t>(value >> 16));
}

void putTag(std::vector<std::uint8_t>& out, const char (&tag)[5]) {
    out.insert(out.end(), tag, tag + 4);
}

} // namespace

bool writeWav(const std::string& path, const CallAudio& audio, std::string& error) {
    constexpr std::uint16_t channels = 2, bitsPerSample = 16;
    constexpr std::uint16_t blockAlign = channels * bitsPerSample / 8;
    const std::uint64_t dataBytes = audio.samples.size() * 2u;
    if (dataBytes > 0xFFFFFFFFu - 36) {
        error = path + ": the audio is too long for a WAV file";
        return false;
    }
    NewFile file(path);
    if (!file.ok()) {
        error = file.error();
        return false;
    }
    std::vector<std::uint8_t> out;
    out.reserve(1 << 16);
    putTag(out, "RIFF");
    put32(out, static_cast<std::uint32_t>(36 + dataBytes));
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, channels);
    put32(out, sampleRate);
    put32(out, sampleRate * blockAlign);
    put16(out, blockAlign);
    put16(out, bitsPerSample);
    putTag(out, "data");
    put32(out, static_cast<std::uint32_t>(dataBytes));
    // Little-endian samples, a block at a time.
    for (const std::int16_t sample : audio.samples) {
        put16(out, static_cast<std::uint16_t>(sample));
        if (out.size() >= (1 << 16)) {
            if (!file.write(out)) {
                break;
            }
            out.clear();
        }
    }
    if (!file.write(out) || !file.commit()) {
        error = file.error();
        return false;
    }
    return true;
}

} // namespace media
