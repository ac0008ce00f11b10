#pragma once

#include "analysis/CapturePackets.h"
#include "common/MemoryCharge.h"
#include "filter/DisplayFilter.h"
#include "filter/FrameCalls.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class KvIAXCapture;

// The frames quorvex-dump prints under -Y: those the display filter
// selects (every frame without one), and the calls holding any of them.
class FrameSelection final {
public:
    // False, with `error` saying why, where the expression does not compile.
    bool setExpression(const std::optional<std::string>& expression, std::string& error);
    [[nodiscard]] bool active() const { return filter_.has_value(); }
    [[nodiscard]] bool needsCalls() const;
    // Link-layer fields are read back from the capture file: false, with
    // `error` set, where there is none to read (standard input, a live run).
    bool useCaptureFile(const std::optional<std::string>& path, std::string& error);

    // Takes in the calls the capture found since: once before testing the
    // frames that arrived, where the filter asks for calls.
    void refresh(const KvIAXCapture& capture);
    // Whether frame `index` (0-based) of the capture is selected; Failed, with
    // `why`, where the filter could not be tested on it. Where the filter
    // asks for calls, the frame must be tracked and refreshed.
    [[nodiscard]] filter::Verdict keeps(const KvIAXCapture& capture, std::size_t index,
                                        std::string& why) const;
    // By call (the tracker's order): whether it holds a selected frame.
    // Nothing, with `why`, where a frame could not be tested.
    [[nodiscard]] std::optional<std::vector<bool>> keptCalls(const KvIAXCapture& capture,
                                                             std::string& why);

private:
    std::optional<filter::DisplayFilter> filter_;
    filter::FrameCalls calls_;
    MemoryCharge callsCharge_; // to the capture's budget, once known
    std::unique_ptr<CapturePackets> packets_;
};
