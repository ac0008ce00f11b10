#pragma once

#include "platform/SystemBeep.h"

#include "tests/support/RecordingLogSink.h"

// Counts beeps into the same log as the log lines, to check their order.
class LoggedBeep final : public SystemBeep {
public:
    explicit LoggedBeep(RecordingLogSink& log) : log_(log) {}
    void beep() override {
        ++count;
        log_.write("<beep>");
    }
    int count = 0;

private:
    RecordingLogSink& log_;
};
