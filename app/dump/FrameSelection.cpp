#include "app/dump/FrameSelection.h"

#include "app/KvIAXCapture.h"

bool FrameSelection::setExpression(const std::optional<std::string>& expression,
                                   std::string& error) {
    if (!expression) {
        return true;
    }
    filter_ = filter::DisplayFilter::compile(*expression, error);
    return filter_.has_value();
}

bool FrameSelection::needsCalls() const {
    return filter_ && (filter_->needs() & filter::NeedsCalls) != 0;
}

bool FrameSelection::useCaptureFile(const std::optional<std::string>& path, std::string& error) {
    if (!filter_ || (filter_->needs() & filter::NeedsCaptureFile) == 0) {
        return true;
    }
    if (!path || *path == "-") {
        error = "the link-layer fields (eth.*, vlan.id) are read back from the capture file, and "
                "there is none to read: " +
                std::string(path ? "the capture comes from standard input" : "this is a live run");
        return false;
    }
    packets_ = CapturePackets::open(*path, error);
    return packets_ != nullptr;
}

void FrameSelection::refresh(const KvIAXCapture& capture) {
    if (needsCalls()) {
        calls_.update(capture.callTracker());
        if (!callsCharge_.budget()) {
            callsCharge_ = MemoryCharge(capture.memoryBudget());
        }
        callsCharge_.forceTo(calls_.heldBytes());
    }
}

filter::Verdict FrameSelection::keeps(const KvIAXCapture& capture, std::size_t index,
                                      std::string& why) const {
    if (!filter_) {
        return filter::Verdict::Match;
    }
    const FrameList& frames = capture.iaxFrames();
    const filter::FilterContext context{&frames.front()->facts(), &calls_, packets_.get()};
    return filter_->test(*frames[index], static_cast<std::uint32_t>(index + 1), context, why);
}

std::optional<std::vector<bool>> FrameSelection::keptCalls(const KvIAXCapture& capture,
                                                           std::string& why) {
    const auto& calls = capture.callTracker().calls();
    std::vector<bool> kept(calls.size(), !filter_);
    if (!filter_) {
        return kept;
    }
    refresh(capture);
    // Each frame is tested once, whatever number of calls it is in.
    std::vector<std::int8_t> tested(capture.iaxFrames().size(), -1);
    for (std::size_t call = 0; call < calls.size(); ++call) {
        for (const std::uint32_t number : calls[call].frameNumbers) {
            if (number == 0 || number > tested.size()) {
                continue;
            }
            std::int8_t& result = tested[number - 1];
            if (result < 0) {
                const auto verdict = keeps(capture, number - 1, why);
                if (verdict == filter::Verdict::Failed) {
                    return std::nullopt;
                }
                result = verdict == filter::Verdict::Match ? 1 : 0;
            }
            if (result == 1) {
                kept[call] = true;
                break;
            }
        }
    }
    return kept;
}
