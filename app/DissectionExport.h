#pragma once

#include "app/CaptureFieldSource.h"
#include "common/NewFile.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class KvIAXCapture;

// The packet details of some frames, written as tshark writes them: as text
// (-V, a blank line after each) or as JSON (-T json). To a new file, whole
// or not at all, never over an existing one.
enum class DissectionFormat { Text, Json };

// The same a slice at a time, for a caller on the capture's thread that
// spreads millions of frames over time. The capture must outlive it, its
// list unreplaced.
class DissectionWriter final {
public:
    // `frames` are 1-based positions in the capture's list, in the order
    // wanted; frames whose bytes cannot be read again are written from
    // their records alone.
    DissectionWriter(const KvIAXCapture& capture, std::vector<std::uint32_t> frames,
                     DissectionFormat format, const std::string& destination);
    // Writes frames until `deadline` has passed or all are written; false,
    // with `error`, where the file cannot be made or written.
    bool step(std::chrono::steady_clock::time_point deadline, std::string& error);
    [[nodiscard]] bool done() const { return next_ >= frames_.size(); }
    [[nodiscard]] std::size_t written() const { return next_; }
    [[nodiscard]] std::size_t total() const { return frames_.size(); }
    // Once done(): ends the file and links it into place.
    bool finish(std::string& error);

private:
    bool flush(std::string& error);

    const KvIAXCapture& capture_;
    std::vector<std::uint32_t> frames_;
    DissectionFormat format_;
    CaptureFieldSource source_;
    NewFile file_;
    std::string out_;
    std::vector<std::uint8_t> bytes_;
    const FrameFacts* previous_ = nullptr;
    std::size_t next_ = 0, shown_ = 0;
};

// All at once. False, with `error` set, where the file cannot be written.
bool exportDissections(const KvIAXCapture& capture, const std::vector<std::uint32_t>& frames,
                       DissectionFormat format, const std::string& destination, std::string& error);
