#include "app/CaptureFieldSource.h"

#include "app/KvIAXCapture.h"
#include "capturefile/PacketFileReader.h"

CaptureFieldSource::CaptureFieldSource(const KvIAXCapture& capture, std::uint8_t needs)
    : capture_(capture), needs_(needs), callsCharge_(capture.memoryBudget()) {}

bool CaptureFieldSource::open(std::string& error) {
    return open(capture_.lastRunFile(), error);
}

bool CaptureFieldSource::open(const std::string& file, std::string& error) {
    if ((needs_ & fields::NeedsCaptureFile) == 0 || packets_) {
        return true;
    }
    if (const std::string why = whyNotReadAgain(file); !why.empty()) {
        error = "these fields are read back from the capture file (the records do not keep "
                "link-layer and IP headers, or payloads), and there is none to read: " +
                why;
        return false;
    }
    packets_ = CapturePackets::open(file, error, capture_.openedPackets());
    return packets_ != nullptr;
}

void CaptureFieldSource::refresh() {
    if ((needs_ & fields::NeedsCalls) != 0) {
        calls_.update(capture_.callTracker());
        callsCharge_.forceTo(calls_.heldBytes());
    }
}

std::size_t CaptureFieldSource::readyFrames() const {
    const std::size_t frames = capture_.iaxFrames().size();
    return (needs_ & fields::NeedsCalls) != 0 ? std::min(frames, capture_.trackedFrameCount())
                                              : frames;
}

fields::FieldContext CaptureFieldSource::contextOf(std::uint32_t number,
                                                   const FrameFacts* previousShown) const {
    const FrameList& frames = capture_.iaxFrames();
    fields::FieldContext context;
    context.firstFrame = frames.empty() ? nullptr : &frames.front()->facts();
    context.previousFrame =
        number >= 2 && number - 1 <= frames.size() ? &frames[number - 2]->facts() : nullptr;
    context.previousShown = previousShown;
    context.calls = &calls_;
    context.packets = packets_.get();
    context.firstFrameInFile = static_cast<std::uint32_t>(capture_.lastRunFirstFrame() + 1);
    return context;
}
