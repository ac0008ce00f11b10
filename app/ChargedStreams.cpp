#include "app/ChargedStreams.h"

#include "app/KvIAXCapture.h"
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
    std::uint64_t held = 0;
    for (const std::size_t call : calls) {
        if (call >= all.size()) {
            continue;
        }
        for (auto& stream :
             analysis::callStreams(capture.callTracker(), call, capture.iaxFrames(), options)) {
            capture.addActivity(stream.figures);
            held += stream.packets.capacity() * sizeof(analysis::StreamPacket);
            made.streams.push_back(std::move(stream));
        }
    }
    made.charge.forceTo(held);
    return made;
}
