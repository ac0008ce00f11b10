#pragma once

#include "calls/CallSignals.h"
#include "readback/CapturePackets.h"
#include "quality/StreamTypes.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// What a stream's decoded voice says, beyond its packets: how much of it is
// speech rather than silence, and the DTMF digits sent in band.
namespace media {

// A block is active where its RMS passes -50 dBov (0 dBov = 32767).
inline constexpr double activeRms = 32767 * 0.0031622776601683794; // 10^(-50/20)
inline constexpr std::size_t activityBlockSamples = 160;           // 20 ms

struct StreamListening {
    std::uint64_t blocks = 0;               // whole 20 ms blocks of decoded samples
    std::uint64_t activeBlocks = 0;         // of those, above -50 dBov
    std::vector<calls::DtmfEvent> tones; // in band, in the order heard
    // The share of active blocks; nothing where nothing could be decoded
    // (a codec without a decoder).
    [[nodiscard]] std::optional<double> activity() const {
        return blocks > 0
                   ? std::optional(static_cast<double>(activeBlocks) / static_cast<double>(blocks))
                   : std::nullopt;
    }
};

// Gives the payload of the stream's packet `index`; false, with `error`
// saying why, where it cannot.
using PayloadReader =
    std::function<bool(std::size_t index, std::vector<std::uint8_t>& payload, std::string& error)>;
// The payload reader of each of some streams, by the stream's index.
using StreamReaders = std::function<PayloadReader(std::size_t stream)>;
// Reads the payloads of `stream` straight from the capture file.
[[nodiscard]] PayloadReader fileReaderOf(CapturePackets& packets,
                                         const quality::VoiceStream& stream);

// Decodes one stream (as callStreams gives it) in the order it was sent,
// measuring its activity and listening for DTMF digits (silence stands for
// what was lost or could not be decoded). False, with `error` saying why,
// where a payload cannot be read.
bool listenToStream(const quality::VoiceStream& stream, const PayloadReader& payloads,
                    StreamListening& into, std::string& error);
// With the payloads read back from the capture file as they are wanted.
bool listenToStream(const quality::VoiceStream& stream, CapturePackets& packets,
                    StreamListening& into, std::string& error);

} // namespace media
