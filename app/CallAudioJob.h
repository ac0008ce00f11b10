#pragma once

#include "app/ChargedStreams.h"
#include "decrypt/FrameDecryption.h"
#include "media/CallAudio.h"

#include <memory>

#include <optional>
#include <string>
#include <vector>

class KvIAXCapture;

// What it takes to make a call's audio away from the capture: its streams
// and the file their payloads are read back from. Made on the thread that
// owns the capture; rendered on any thread, as it shares nothing with it.
struct CallAudioJob {
    std::string capturePath;
    ChargedStreams voice;
    std::shared_ptr<MemoryBudget> budget; // the decoded audio's
    std::shared_ptr<const OpenedPackets> opened; // read back in clear

    // The job of the capture's call `callIndex` (0-based), or nothing, with
    // `error` saying why (no such call, no voice, packets whose file is
    // gone, a capture from standard input).
    static std::optional<CallAudioJob> of(const KvIAXCapture& capture, std::size_t callIndex,
                                          std::string& error);

    // Decodes and places the call's voice; false with `error` saying why.
    bool render(media::Timing timing, media::CallAudio& audio, std::string& error) const;
};
