#pragma once

#include "quality/StreamMeter.h"

#include <vector>

namespace quality {

// The two voice streams of one call, built from its frames in arrival
// order, as a load hands them over or from a finished list alike.
class CallStreams final {
public:
    // The call is `calls[index]`; the list may grow meanwhile. With
    // `keepPackets`, every packet is kept for takeStreams().
    CallStreams(const calls::CallList& calls, std::size_t index, bool keepPackets,
                const QualityOptions& options = {});
    ~CallStreams();
    CallStreams(CallStreams&&) noexcept;
    CallStreams& operator=(CallStreams&&) noexcept;

    void add(const KvIAXFrame& frame, std::uint32_t frameNumber);
    // The streams' figures, caller first; a direction without voice has
    // none. The call's mean round trip, where known, adds to the delay the
    // E-model weighs.
    [[nodiscard]] std::vector<StreamFigures> figures(std::optional<double> roundTripMs) const;
    // The streams with their packets, what was lost marked; once.
    [[nodiscard]] std::vector<VoiceStream> takeStreams(std::optional<double> roundTripMs);
    // Whether either end sent voice.
    [[nodiscard]] bool hasVoice() const;
    // What went wrong in the caller's (side 0) or the callee's stream.
    [[nodiscard]] StreamTrouble trouble(int side) const;
    // About how much memory the two streams hold, itself included.
    [[nodiscard]] std::uint64_t heldBytes() const;

private:
    struct Sender;
    [[nodiscard]] const calls::Call& call() const { return (*calls_)[index_]; }
    [[nodiscard]] StreamFigures figuresOf(int side, std::optional<double> roundTripMs) const;
    [[nodiscard]] std::optional<double> frameMsOf(int side) const;
    void take(Sender& sender, StreamPacket& packet);

    const calls::CallList* calls_;
    std::size_t index_;
    bool keepPackets_;
    std::uint32_t previousNumber_ = 0;
    std::vector<Sender> senders_; // the caller's, the callee's
};

} // namespace quality
