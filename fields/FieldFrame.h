#pragma once

#include "dissect/KvIAXFrame.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class CapturePackets;
namespace calls {
struct FrameCalls;
}

namespace fields {

// What a frame's fields may need beyond the frame: the capture's first frame
// (frame.time_relative), the frame before it and the one shown before it
// (frame.time_delta, frame.time_delta_displayed), the calls each frame
// belongs to (iax2.call), and the capture file, from which the bytes that
// records do not keep (link-layer and IP headers) are read back.
struct FieldContext {
    const FrameFacts* firstFrame = nullptr;
    const FrameFacts* previousFrame = nullptr;
    const FrameFacts* previousShown = nullptr;
    const calls::FrameCalls* calls = nullptr;
    CapturePackets* packets = nullptr;
    // The first frame (1-based) whose packet is in that file: an earlier live
    // run's file was replaced by the next.
    std::uint32_t firstFrameInFile = 1;
};

// The frame whose fields are read, with what they are read from.
class FieldFrame final {
public:
    FieldFrame(const KvIAXFrame& frame, std::uint32_t number, const FieldContext& context)
        : frame_(frame), number_(number), context_(context) {}
    // With the packet's captured bytes already at hand (the packet details).
    FieldFrame(const KvIAXFrame& frame, std::uint32_t number, const FieldContext& context,
               std::span<const std::uint8_t> packet)
        : frame_(frame), number_(number), context_(context), packet_(packet), given_(true) {}

    [[nodiscard]] const KvIAXFrame& frame() const { return frame_; }
    [[nodiscard]] const FrameFacts& facts() const { return frame_.facts(); }
    [[nodiscard]] std::uint32_t number() const { return number_; }
    [[nodiscard]] const FieldContext& context() const { return context_; }
    // The packet's captured bytes up to its IAX2 payload at least (all of
    // them where they were given): read back from the capture file once, and
    // kept for the other fields of the frame. Empty where there is no file to
    // read, or it no longer holds the packet.
    [[nodiscard]] std::span<const std::uint8_t> packet() const;
    // The bytes where they were given, and nothing otherwise: for where a
    // value lies, never worth a read of the file.
    [[nodiscard]] std::span<const std::uint8_t> givenPacket() const {
        return given_ ? packet_ : std::span<const std::uint8_t>{};
    }

    // Where a test that could not be made says why (the first one only).
    std::string* failure = nullptr;

private:
    const KvIAXFrame& frame_;
    std::uint32_t number_; // 1-based
    const FieldContext& context_;
    mutable std::span<const std::uint8_t> packet_;
    mutable std::optional<std::vector<std::uint8_t>> read_;
    bool given_ = false;
};

} // namespace fields
