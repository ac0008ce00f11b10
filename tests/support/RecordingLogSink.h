#pragma once

#include "common/Log.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

// Captures log lines for the length of a test, the per-packet debug lines
// included.
class RecordingLogSink final : public kvlog::LogSink {
public:
    explicit RecordingLogSink(bool debug = true) {
        kvlog::setSink(this);
        kvlog::setDebugEnabled(debug);
    }
    ~RecordingLogSink() override {
        kvlog::setDebugEnabled(false);
        kvlog::setSink(nullptr);
    }

    void write(std::string_view line) override {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    }
    [[nodiscard]] std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    [[nodiscard]] long count(std::string_view line) const {
        std::lock_guard lock(mutex_);
        return std::count(lines_.begin(), lines_.end(), line);
    }
    // The lines that are not among the per-packet chatter, in order.
    [[nodiscard]] std::vector<std::string>
    linesWithout(const std::vector<std::string>& noise) const {
        std::vector<std::string> kept;
        for (const auto& line : lines()) {
            if (std::find(noise.begin(), noise.end(), line) == noise.end()) {
                kept.push_back(line);
            }
        }
        return kept;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};
