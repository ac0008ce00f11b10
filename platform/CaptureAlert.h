#pragma once

#include <string_view>

// The modal "Capture failed" alert: one "Ok" button and the library's error
// text, shown as plain text. Runs on the main thread and returns when the
// user has dismissed it.
class CaptureAlert {
public:
    virtual ~CaptureAlert() = default;
    virtual void showCaptureFailed(std::string_view informativeText) = 0;
};
