#include "common/Log.h"

#include "common/SyslogSink.h"

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <string>

namespace kvlog {
namespace {

LogSink& systemLog() {
    // Destroyed at exit, after sending what is still queued.
    static SyslogSink sink("quorvex");
    return sink;
}

std::atomic<LogSink*> replacement{nullptr};
std::atomic<bool> debugOn{false};

LogSink& current() {
    LogSink* sink = replacement.load(std::memory_order_acquire);
    return sink != nullptr ? *sink : systemLog();
}

} // namespace

void setSink(LogSink* sink) {
    replacement.store(sink, std::memory_order_release);
}

void setDebugEnabled(bool enabled) {
    debugOn.store(enabled, std::memory_order_relaxed);
}

bool debugEnabled() {
    return debugOn.load(std::memory_order_relaxed);
}

void enableDebugFromEnvironment() {
    const char* value = std::getenv("QUORVEX_DEBUG");
    if (value != nullptr && *value != '\0' && std::string_view(value) != "0") {
        setDebugEnabled(true);
    }
}

void line(std::string_view text) {
    current().write(text);
}

void line(std::string_view prefix, std::string_view value) {
    std::string text;
    text.reserve(prefix.size() + value.size());
    text.append(prefix).append(value);
    current().write(text);
}

void line(std::string_view prefix, long long value) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    line(prefix, std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

} // namespace kvlog
