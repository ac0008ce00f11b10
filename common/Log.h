#pragma once

#include <string_view>

// The system's diagnostic lines. There are no levels: every line goes to the
// current sink, which is the system log unless a test or tool replaced it.
namespace kvlog {

class LogSink {
public:
    virtual ~LogSink() = default;
    // Called from any thread; must not throw.
    virtual void write(std::string_view line) = 0;
};

// Replaces the sink; nullptr restores the system log. The caller keeps the
// sink alive until it is replaced again.
void setSink(LogSink* sink);

void line(std::string_view text);
// Fixed text followed by one value, for the many "Text: %@" lines.
void line(std::string_view prefix, std::string_view value);
void line(std::string_view prefix, long long value);

} // namespace kvlog
