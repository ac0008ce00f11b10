#include "app/CaptureFilter.h"

#include "app/KvIAXCapture.h"

CaptureFilter::CaptureFilter(const KvIAXCapture& capture, filter::DisplayFilter filter)
    : filter_(std::move(filter)), source_(capture, filter_.needs()) {}

filter::Verdict CaptureFilter::test(std::uint32_t number, std::string& why) {
    const FrameList& frames = source_.capture().iaxFrames();
    if (number == 0 || number > frames.size()) {
        return filter::Verdict::NoMatch;
    }
    const FrameFacts* shown = lastShown_ ? &*lastShown_ : nullptr;
    const auto verdict =
        filter_.test(*frames[number - 1], number, source_.contextOf(number, shown), why);
    if (verdict == filter::Verdict::Match) {
        lastShown_ = frames[number - 1]->facts();
    }
    return verdict;
}
