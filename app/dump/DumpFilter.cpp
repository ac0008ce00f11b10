#include "app/dump/DumpFilter.h"

#include "app/KvIAXCapture.h"

bool DumpFilter::setExpression(const std::optional<std::string>& expression, std::string& error) {
    if (!expression) {
        return true;
    }
    expression_ = filter::DisplayFilter::compile(*expression, error);
    return expression_.has_value();
}

bool DumpFilter::needsCalls() const {
    return expression_ && (expression_->needs() & filter::NeedsCalls) != 0;
}

bool DumpFilter::attach(const KvIAXCapture& capture, const std::optional<std::string>& file,
                        std::string& error) {
    if (!expression_) {
        return true;
    }
    filter_ = std::make_unique<CaptureFilter>(capture, *expression_);
    if ((expression_->needs() & filter::NeedsCaptureFile) != 0 && !file) {
        error = "some fields are read back from the capture file (the records do not keep "
                "link-layer and IP headers, or payloads), and there is none to read: this is a "
                "live run";
        return false;
    }
    return !file || filter_->open(*file, error);
}

void DumpFilter::refresh() {
    if (filter_) {
        filter_->refresh();
    }
}

std::size_t DumpFilter::readyFrames(const KvIAXCapture& capture) const {
    return filter_ ? filter_->readyFrames() : capture.iaxFrames().size();
}

filter::Verdict DumpFilter::keeps(std::size_t index, std::string& why) {
    return filter_ ? filter_->test(static_cast<std::uint32_t>(index + 1), why)
                   : filter::Verdict::Match;
}

std::optional<std::vector<bool>> DumpFilter::keptCalls(const KvIAXCapture& capture,
                                                       std::string& why) {
    const auto& calls = capture.callTracker().calls();
    std::vector<bool> kept(calls.size(), !filter_);
    if (!filter_) {
        return kept;
    }
    refresh();
    // Each frame is tested once, whatever number of calls it is in.
    std::vector<std::int8_t> tested(capture.iaxFrames().size(), -1);
    for (std::size_t call = 0; call < calls.size(); ++call) {
        for (const std::uint32_t number : calls[call].frameNumbers) {
            if (number == 0 || number > tested.size()) {
                continue;
            }
            std::int8_t& result = tested[number - 1];
            if (result < 0) {
                const auto verdict = keeps(number - 1, why);
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
