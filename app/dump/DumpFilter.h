#pragma once

#include "app/CaptureFilter.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class KvIAXCapture;

// The frames quorvex-dump prints under -Y: those the display filter
// selects (every frame without one), and the calls holding any of them.
class DumpFilter final {
public:
    // False, with `error` saying why, where the expression does not compile.
    bool setExpression(const std::optional<std::string>& expression, std::string& error);
    [[nodiscard]] bool active() const { return expression_.has_value(); }
    [[nodiscard]] bool needsCalls() const;
    // Binds the filter to the capture whose frames it tests, reading the
    // bytes records do not keep from `file`: false, with `error` set, where
    // there is none to read (standard input, a live run).
    bool attach(const KvIAXCapture& capture, const std::optional<std::string>& file,
                std::string& error);

    // Takes in the calls the capture found since: once before testing the
    // frames that arrived.
    void refresh();
    // How many frames, from the first, may be tested now.
    [[nodiscard]] std::size_t readyFrames(const KvIAXCapture& capture) const;
    // Whether frame `index` (0-based) is selected; Failed, with `why`, where
    // the filter could not be tested on it.
    [[nodiscard]] filter::Verdict keeps(std::size_t index, std::string& why);
    // By call (the tracker's order): whether it holds a selected frame.
    // Nothing, with `why`, where a frame could not be tested.
    [[nodiscard]] std::optional<std::vector<bool>> keptCalls(const KvIAXCapture& capture,
                                                             std::string& why);

private:
    std::optional<filter::DisplayFilter> expression_;
    std::unique_ptr<CaptureFilter> filter_;
};
