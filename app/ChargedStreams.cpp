#include "app/ChargedStreams.h"

#include "quality/VoiceStreamBuilder.h"
#include "readback/FrameReplay.h"
#include "app/KvIAXCapture.h"

#include "media/CallAudio.h"
#include "record/IaxNumbers.h"

#include <algorithm>
#include <cstdint>

namespace {

// At most a packet a frame: charged before anything is made.
std::optional<MemoryCharge> chargeFor(const KvIAXCapture& capture,
                                      const std::vector<std::size_t>& calls, std::string& error) {
    const auto& all = capture.callTracker().calls();
    std::uint64_t estimate = 0;
    for (const std::size_t call : calls) {
        if (call < all.size()) {
            estimate += all[call].frameNumbers.size() * sizeof(quality::StreamPacket);
        }
    }
    MemoryCharge charge(capture.memoryBudget());
    if (!charge.setTo(estimate)) {
        error = media::memoryLimitText(calls.size() == 1 ? "the call's voice packets"
                                                         : "the voice packets of these calls",
                                       estimate);
        return std::nullopt;
    }
    return charge;
}

// Judged as the capture judges its streams.
quality::QualityOptions optionsOf(const KvIAXCapture& capture) {
    return capture.streamTracker() != nullptr ? capture.streamTracker()->options()
                                              : quality::QualityOptions{};
}

std::vector<std::size_t> knownCalls(const KvIAXCapture& capture,
                                    const std::vector<std::size_t>& calls) {
    std::vector<std::size_t> known;
    for (const std::size_t call : calls) {
        if (call < capture.callTracker().calls().size()) {
            known.push_back(call);
        }
    }
    return known;
}

// `heard`: the capture whose listening is added to the figures, if any.
ChargedStreams charged(const KvIAXCapture* heard, std::vector<quality::VoiceStream> found,
                       MemoryCharge charge) {
    ChargedStreams made{{}, std::move(charge), {}};
    std::uint64_t held = 0;
    for (auto& stream : found) {
        if (heard != nullptr) {
            heard->addActivity(stream.figures);
        }
        held += stream.packets.capacity() * sizeof(quality::StreamPacket);
        made.streams.push_back(std::move(stream));
    }
    made.charge.forceTo(held);
    return made;
}

bool carriesVoice(const FrameFacts& facts) {
    return !facts.isLocked() &&
           (facts.kind() == FrameKind::Mini || facts.kind() == FrameKind::Trunk ||
            facts.isFullFrameOfType(iax::Voice));
}

} // namespace

std::optional<ChargedStreams> ChargedStreams::of(const KvIAXCapture& capture,
                                                 const std::vector<std::size_t>& calls,
                                                 std::string& error) {
    if (!capture.releasesFollowedFrames()) {
        auto slices = StreamsInSlices::start(capture, calls, error);
        if (!slices) {
            return std::nullopt;
        }
        slices->step(capture, SIZE_MAX);
        return slices->finish(capture);
    }
    auto charge = chargeFor(capture, calls, error);
    if (!charge) {
        return std::nullopt;
    }
    // Their records are gone: the calls' frames are decoded again.
    quality::VoiceStreamBuilder building(capture.callTracker(), knownCalls(capture, calls),
                                    optionsOf(capture));
    const auto& all = capture.callTracker().calls();
    const bool encrypted = std::any_of(all.begin(), all.end(),
                                       [](const calls::Call& call) { return call.encrypted; });
    const FrameReplay replay(capture.lastRunFile(), capture.secrets(), encrypted);
    const auto wanted = building.wantedFrames();
    // An encrypted call's voice lies in the file as ciphertext: it is read
    // back through the opened packets instead.
    media::HeldPackets voice;
    const auto visit = [&](const KvIAXFrame& frame, std::uint32_t number,
                           std::span<const std::uint8_t> captured) {
        building.add(frame, number);
        if (!encrypted && carriesVoice(frame.facts())) {
            voice.keep(frame.facts().packetIndex,
                       static_cast<std::uint16_t>(frame.facts().payloadOffset), captured);
        }
    };
    if (!replay.run(wanted, visit, error)) {
        return std::nullopt;
    }
    auto made = charged(&capture, building.take(), std::move(*charge));
    made.charge.forceTo(made.charge.charged() + voice.heldBytes());
    made.heldPackets = std::move(voice);
    return made;
}

std::optional<StreamsInSlices> StreamsInSlices::start(const KvIAXCapture& capture,
                                                      const std::vector<std::size_t>& calls,
                                                      std::string& error) {
    auto charge = chargeFor(capture, calls, error);
    if (!charge) {
        return std::nullopt;
    }
    return StreamsInSlices(capture, calls, std::move(*charge));
}

StreamsInSlices::StreamsInSlices(const KvIAXCapture& capture, const std::vector<std::size_t>& calls,
                                 MemoryCharge charge)
    : building_(std::make_unique<quality::VoiceStreamBuilder>(
          capture.callTracker(), knownCalls(capture, calls), optionsOf(capture))),
      wanted_(building_->wantedFrames()), firstFrame_(capture.firstFrame()),
      charge_(std::move(charge)) {}

StreamsInSlices::StreamsInSlices(StreamsInSlices&&) noexcept = default;
StreamsInSlices& StreamsInSlices::operator=(StreamsInSlices&&) noexcept = default;
StreamsInSlices::~StreamsInSlices() = default;

bool StreamsInSlices::step(const KvIAXCapture& capture, std::size_t frames) {
    const FrameList& list = capture.iaxFrames();
    if (capture.firstFrame() != firstFrame_) {
        return false;
    }
    for (std::size_t taken = 0; taken < frames && next_ < wanted_.size(); ++taken, ++next_) {
        const std::uint32_t number = wanted_[next_];
        if (number > list.released() && number <= list.size()) {
            building_->add(*list[number - 1], number);
        }
    }
    return true;
}

bool StreamsInSlices::stepUntil(const KvIAXCapture& capture,
                                std::chrono::steady_clock::time_point deadline) {
    do {
        if (!step(capture, 512)) {
            return false;
        }
    } while (!done() && std::chrono::steady_clock::now() < deadline);
    return true;
}

ChargedStreams StreamsInSlices::finish(const KvIAXCapture& capture) {
    return charged(&capture, building_->take(), std::move(charge_));
}

ChargedStreams StreamsInSlices::finishUnheard() {
    return charged(nullptr, building_->take(), std::move(charge_));
}
