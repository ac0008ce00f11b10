#pragma once

#include "platform/LogSink.h"

#include <string_view>

// The system's diagnostic lines. They go to the current sink, which is the
// system log unless a test or tool replaced it.
//
// Lines written once per packet or per element go through debug(): a load of
// a million packets would otherwise write millions of lines, flood the system
// log and push the user's other lines out of it. They are written only while
// debug logging is on (`--debug`, or QUORVEX_DEBUG=1 in the environment).
namespace kvlog {

// Replaces the sink; nullptr restores the system log. The caller keeps the
// sink alive until it is replaced again.
void setSink(LogSink* sink);

void line(std::string_view text);
// Fixed text followed by one value, for the many "Text: %@" lines.
void line(std::string_view prefix, std::string_view value);
void line(std::string_view prefix, long long value);

void setDebugEnabled(bool enabled);
[[nodiscard]] bool debugEnabled();
// Turns debug logging on when QUORVEX_DEBUG is set to anything but "" or "0".
void enableDebugFromEnvironment();

// The same lines, written only while debug logging is on. The value is
// converted only then, so a quiet run pays one flag test per line.
inline void debug(std::string_view text) {
    if (debugEnabled()) {
        line(text);
    }
}
inline void debug(std::string_view prefix, std::string_view value) {
    if (debugEnabled()) {
        line(prefix, value);
    }
}
inline void debug(std::string_view prefix, long long value) {
    if (debugEnabled()) {
        line(prefix, value);
    }
}

} // namespace kvlog
