#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

// A live run's ring of capture files, as packet tools keep one: a new file
// when the current one reaches a size or an age, the oldest removed when
// there are more than a number. Files are named after the base given,
// OUT.pcap giving OUT_00001_20261211093000.pcap (number, then the local
// time the file was begun). Used by the one worker that writes them.
struct RingSettings {
    std::string base;           // empty: no ring, the run's usual file
    std::uint64_t maxBytes = 0; // 0: no limit of size
    unsigned files = 0;         // 0: every file is kept
    double seconds = 0;         // 0: no limit of age
    [[nodiscard]] bool active() const { return !base.empty(); }
};

class RingFiles {
public:
    using Clock = std::chrono::steady_clock;
    explicit RingFiles(RingSettings settings) : settings_(std::move(settings)) {}

    // Creates the next file (never over an existing one, never through a
    // link; readable by its owner alone), removing the oldest beyond the
    // number kept. Nothing, with `error`, where it cannot be made.
    std::FILE* openNext(std::string& path, std::string& error);
    // Whether the current file, `bytes` long, is due to be replaced.
    [[nodiscard]] bool due(std::int64_t bytes, Clock::time_point now) const;
    [[nodiscard]] const std::deque<std::string>& kept() const { return kept_; }

private:
    RingSettings settings_;
    std::deque<std::string> kept_;
    unsigned number_ = 0;
    Clock::time_point begun_{};
};

// The name of file `number` of the ring on `base`, begun at `when`.
std::string ringFileName(const std::string& base, unsigned number, std::time_t when);
