#include "app/ChargedStreams.h"

#include "analysis/CallsStreams.h"
#include "analysis/FrameReplay.h"
#include "app/KvIAXCapture.h"

#include <algorithm>
#include "media/CallAudio.h"

std::optional<ChargedStreams> ChargedStreams::of(const KvIAXCapture& capture,
                                                 const std::vector<std::size_t>& calls,
                                                 std::string& error) {
    const auto& all = capture.callTracker().calls();
    // At most a packet a frame: charged before anything is made.
    std::uint64_t estimate = 0;
    for (const std::size_t call : calls) {
        if (call < all.size()) {
            estimate += all[call].frameNumbers.size() * sizeof(analysis::StreamPacket);
        }
    }
    ChargedStreams made{{}, MemoryCharge(capture.memoryBudget())};
    if (!made.charge.setTo(estimate)) {
        error = media::memoryLimitText(calls.size() == 1 ? "the call's voice packets"
                                                         : "the voice packets of these calls",
                                       estimate);
        return std::nullopt;
    }
    // Judged as the capture judges its streams.
    const analysis::QualityOptions options = capture.streamTracker() != nullptr
                                                 ? capture.streamTracker()->options()
                                                 : analysis::QualityOptions{};
    std::vector<analysis::VoiceStream> found;
    if (capture.releasesFollowedFrames()) {
        // Their records are gone: the calls' frames are decoded again.
        analysis::CallsStreams building(capture.callTracker(), calls, options);
        const auto& all = capture.callTracker().calls();
        const bool encrypted = std::any_of(
            all.begin(), all.end(), [](const analysis::Call& call) { return call.encrypted; });
        const FrameReplay replay(capture.lastRunFile(), capture.secrets(), encrypted);
        const auto wanted = building.wantedFrames();
        if (!replay.run(
                wanted,
                [&](const KvIAXFrame& frame, std::uint32_t number) { building.add(frame, number); },
                error)) {
            return std::nullopt;
        }
        found = building.take();
    } else {
        for (const std::size_t call : calls) {
            if (call < all.size()) {
                for (auto& stream : analysis::callStreams(capture.callTracker(), call,
                                                          capture.iaxFrames(), options)) {
                    found.push_back(std::move(stream));
                }
            }
        }
    }
    std::uint64_t held = 0;
    for (auto& stream : found) {
        capture.addActivity(stream.figures);
        held += stream.packets.capacity() * sizeof(analysis::StreamPacket);
        made.streams.push_back(std::move(stream));
    }
    made.charge.forceTo(held);
    return made;
}
