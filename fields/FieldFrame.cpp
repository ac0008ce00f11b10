#include "fields/FieldFrame.h"

#include "readback/CapturePackets.h"

namespace fields {

std::span<const std::uint8_t> FieldFrame::packet() const {
    if (given_) {
        return packet_;
    }
    if (!read_) {
        read_.emplace();
        const FrameFacts& facts = frame_.facts();
        std::string error;
        if (context_.packets == nullptr || number_ < context_.firstFrameInFile ||
            !context_.packets->readHead(facts, facts.capturedLength, *read_, error)) {
            read_->clear(); // not (yet) in the file: the fields it holds are absent
        }
        packet_ = *read_;
    }
    return packet_;
}

} // namespace fields
