#pragma once

#include <string_view>

namespace kvlog {

// Where diagnostic lines go: the system log, or a test's recorder.
class LogSink {
public:
    virtual ~LogSink() = default;
    // Called from any thread; must not throw.
    virtual void write(std::string_view line) = 0;
};

} // namespace kvlog
