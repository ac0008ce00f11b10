#pragma once

#include "dissect/KvIAXFrame.h"

#include <string_view>

// What a capture worker needs of the capture it fills. Only isInProgress()
// may be called from the worker's own thread; everything else runs on the
// main thread, through the hand-off.
class CaptureTarget {
public:
    virtual ~CaptureTarget() = default;

    [[nodiscard]] virtual bool isInProgress() const = 0;

    virtual FrameList& iaxFrames() = 0;
    // Passing the list returned by iaxFrames() announces what was appended.
    virtual void setIaxFrames(const FrameList& frames) = 0;
    virtual void setPropertyText(std::string_view key, std::string_view text) = 0;
    // The worker's run has ended; it no longer refers to the capture.
    virtual void workerRunEnded() = 0;
};
