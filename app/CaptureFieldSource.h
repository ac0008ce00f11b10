#pragma once

#include "readback/CapturePackets.h"
#include "calls/FrameCalls.h"
#include "common/MemoryCharge.h"
#include "fields/FieldRegistry.h"

#include <memory>
#include <string>

class KvIAXCapture;

// What a capture's fields are read with beside its frames: the calls each
// frame belongs to (kept up as the capture grows, and charged to its memory
// budget) and its capture file, from which the bytes that records do not
// keep are read back. The display filter, Find, the packet details and
// `quorvex-dump -T fields` all read a capture's fields through one of these.
// Main thread only, as the capture is.
class CaptureFieldSource final {
public:
    // `needs` is what the fields to be read need (fields::Needs).
    CaptureFieldSource(const KvIAXCapture& capture, std::uint8_t needs);

    // Opens the capture file where the fields need it; false, with `error`
    // saying why, where there is none to read (standard input).
    bool open(std::string& error);
    // The same with the file named: before a load has begun.
    bool open(const std::string& file, std::string& error);
    // Takes in the calls the capture found since.
    void refresh();
    // How many frames, from the first, may be read now: where the fields ask
    // for calls, those the calls have taken in.
    [[nodiscard]] std::size_t readyFrames() const;
    // The context of frame `number` (1-based), the frame shown before it being
    // `previousShown` (for frame.time_delta_displayed).
    [[nodiscard]] fields::FieldContext contextOf(std::uint32_t number,
                                                 const FrameFacts* previousShown) const;
    [[nodiscard]] const KvIAXCapture& capture() const { return capture_; }
    [[nodiscard]] CapturePackets* packets() const { return packets_.get(); }

private:
    const KvIAXCapture& capture_;
    std::uint8_t needs_;
    calls::FrameCalls calls_;
    MemoryCharge callsCharge_;
    std::unique_ptr<CapturePackets> packets_;
};
