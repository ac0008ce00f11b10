#pragma once

#include "app/CaptureFieldSource.h"
#include "filter/DisplayFilter.h"

#include <optional>

// A display filter over a capture: the compiled expression, and the calls
// and the file its fields read. The filter bar, Find and `quorvex-dump -Y`
// test frames through this one object. Main thread only.
class CaptureFilter final {
public:
    CaptureFilter(const KvIAXCapture& capture, filter::DisplayFilter filter);

    // False, with `error` saying why, where the filter's fields need a file
    // the capture does not have.
    bool open(std::string& error) { return source_.open(error); }
    bool open(const std::string& file, std::string& error) { return source_.open(file, error); }
    // Takes in the calls the capture found since; before testing frames that
    // just arrived.
    void refresh() { source_.refresh(); }
    [[nodiscard]] std::size_t readyFrames() const { return source_.readyFrames(); }

    // Frame `number` (1-based): Match, NoMatch, or Failed with `why`. A frame
    // that matches is the frame shown before the next ones tested.
    [[nodiscard]] filter::Verdict test(std::uint32_t number, std::string& why);
    [[nodiscard]] const filter::DisplayFilter& filter() const { return filter_; }

private:
    filter::DisplayFilter filter_;
    CaptureFieldSource source_;
    // The last frame that matched (a copy: a dump lets the records go).
    std::optional<FrameFacts> lastShown_;
};
