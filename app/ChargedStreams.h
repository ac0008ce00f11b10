#pragma once

#include "quality/StreamTypes.h"
#include "common/MemoryCharge.h"
#include "media/HeldPackets.h"

#include <chrono>
#include <memory>

#include <optional>
#include <string>
#include <vector>

class KvIAXCapture;
class KvIAXFrame;
namespace quality {
class VoiceStreamBuilder;
}

// The voice streams of some of a capture's calls, with every packet, and
// what they hold charged to the capture's memory budget for as long as they
// are kept: a call of millions of packets is refused, not made.
struct ChargedStreams {
    std::vector<quality::VoiceStream> streams; // call by call, caller first
    MemoryCharge charge;
    // Where the streams were made by decoding the file again, their voice
    // frames' bytes as that pass met them (charged too), so that their
    // payloads need not be read once more; empty otherwise.
    media::HeldPackets heldPackets;

    // Nothing, with `error` saying why, where the budget cannot hold them.
    // `calls` are indexes into the capture's call list.
    static std::optional<ChargedStreams>
    of(const KvIAXCapture& capture, const std::vector<std::size_t>& calls, std::string& error);
};

// The streams of some calls made from the capture's records a slice at a
// time, on the thread that owns the capture, so that calls of millions of
// frames never hold it up for long.
class StreamsInSlices {
public:
    // Charges their estimate; nothing, with `error`, as ChargedStreams::of.
    static std::optional<StreamsInSlices>
    start(const KvIAXCapture& capture, const std::vector<std::size_t>& calls, std::string& error);
    StreamsInSlices(StreamsInSlices&&) noexcept;
    StreamsInSlices& operator=(StreamsInSlices&&) noexcept;
    ~StreamsInSlices();

    // Takes in up to `frames` more of the calls' frames. False where the
    // capture's list was replaced since the start (the streams are then of
    // no use); done() once every frame is in.
    bool step(const KvIAXCapture& capture, std::size_t frames);
    // The same, some thousands of frames at a time until `deadline` has
    // passed or every frame is in: how many fit depends on how far apart
    // the frames' records lie, which grows with the capture.
    bool stepUntil(const KvIAXCapture& capture, std::chrono::steady_clock::time_point deadline);
    [[nodiscard]] bool done() const { return next_ >= wanted_.size(); }
    // The streams, once done(), with what listening heard of them.
    [[nodiscard]] ChargedStreams finish(const KvIAXCapture& capture);
    // The same for streams not listened to yet. It reads the capture's call
    // list only, so a worker that holds the capture's trackers may call it:
    // working out the figures of a call of a million frames takes a while.
    [[nodiscard]] ChargedStreams finishUnheard();

private:
    StreamsInSlices(const KvIAXCapture& capture, const std::vector<std::size_t>& calls,
                    MemoryCharge charge);

    std::unique_ptr<quality::VoiceStreamBuilder> building_;
    std::vector<std::uint32_t> wanted_;
    std::size_t next_ = 0;
    const KvIAXFrame* firstFrame_ = nullptr; // tells a replaced list
    MemoryCharge charge_;
};
