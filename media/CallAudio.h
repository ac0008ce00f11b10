#pragma once

#include "quality/StreamTypes.h"
#include "media/VoiceListener.h"
#include "readback/CapturePackets.h"
#include "common/MemoryCharge.h"

#include <cstdint>
#include <string>
#include <vector>

// The voice of a call as stereo audio: the caller on the left channel, the
// callee on the right, 16-bit samples at 8 kHz.
namespace media {

// Where each frame is placed in time.
enum class Timing {
    Sent,    // at its timestamp: how the sender meant it
    Arrived, // at its capture time: what a receiver without a jitter buffer heard
};

// Something the listener should see on the waveform.
struct AudioMark {
    enum class Kind : std::uint8_t {
        Lost,         // frames that never came
        Rejected,     // a payload the decoder refused, played as silence
        CutByCapture, // a payload the capture cut short, played as silence
    };
    Kind kind = Kind::Lost;
    int channel = 0;          // 0 the caller, 1 the callee
    std::uint64_t sample = 0; // per channel, from the first sample
    std::uint32_t frames = 1; // how many frames it stands for
};

// What became of one direction's voice.
struct ChannelReport {
    bool present = false; // the direction sent voice at all
    std::string codec;    // the codec of its first frame, as the frame table names it
    std::string problem;  // "no decoder for G.723.1"; empty where every codec decoded
    std::uint64_t decoded = 0;
    std::uint64_t rejected = 0;
    std::uint64_t cutByCapture = 0;
    std::uint64_t undecodable = 0; // payloads in a codec without a decoder, played as silence
    std::uint64_t lost = 0;        // frames that never came, where the frame duration tells it
};

struct CallAudio {
    std::vector<std::int16_t> samples; // interleaved: left (caller), right (callee)
    std::vector<AudioMark> marks;      // in channel order, then in time
    ChannelReport channels[2];
    double originMs = 0; // the first sample's time, in milliseconds since the call's first frame
    MemoryCharge charge; // what the samples hold, in the budget they were decoded under

    [[nodiscard]] std::uint64_t frames() const { return samples.size() / 2; }
    [[nodiscard]] double seconds() const { return static_cast<double>(frames()) / 8000.0; }
    // True where at least one direction has samples that were decoded.
    [[nodiscard]] bool hasSound() const { return channels[0].decoded + channels[1].decoded > 0; }
};

// The longest audio made of one call: a timestamp that jumps by hours would
// otherwise ask for gigabytes.
inline constexpr double maxAudioSeconds = 4 * 3600.0;

// Decodes a call's streams (as callStreams gives them) with their payloads
// read back from `packets`, and places every frame by `timing`. Duplicates
// are played once; where two frames overlap the later one in the sender's
// order wins. False, with `error` saying why, where the file cannot give the
// payloads back, the audio would be longer than maxAudioSeconds or the
// memory budget (where there is one) cannot hold its samples.
bool renderCallAudio(const std::vector<quality::VoiceStream>& streams, CapturePackets& packets,
                     Timing timing, CallAudio& audio, std::string& error,
                     const std::shared_ptr<MemoryBudget>& budget = nullptr);
// The same with the payloads of stream `s` given by `readerOf(s)`: from the
// held payloads, say.
bool renderCallAudio(const std::vector<quality::VoiceStream>& streams,
                     const StreamReaders& readerOf, Timing timing, CallAudio& audio,
                     std::string& error, const std::shared_ptr<MemoryBudget>& budget = nullptr);

// "memory limit reached: <what> would need about N MiB"
[[nodiscard]] std::string memoryLimitText(const std::string& what, std::uint64_t bytes);

} // namespace media
