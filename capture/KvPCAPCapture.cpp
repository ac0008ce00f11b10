#include "capture/KvPCAPCapture.h"

#include <iostream>

KvPCAPCapture::KvPCAPCapture(const CaptureServices& services)
    : services_(services),
      dissector_(services.unknownElementDump != nullptr ? *services.unknownElementDump : std::cout),
      allocator_(services.memoryBudget), delivery_(services) {}

std::shared_ptr<KvIAXFrame> KvPCAPCapture::decodePacket(const CapturedPacket& packet) {
    auto frame = allocator_.makeFrame();
    if (!frame) {
        return nullptr;
    }
    dissector_.decodeInto(packet, *frame, decryption_.get());
    // An opened packet is also noted with its key, to be read back in clear.
    const std::uint64_t noted = frame->facts().encryption() == Encryption::Opened
                                    ? sizeof(OpenedPackets::Entry)
                                    : 0;
    if (!allocator_.chargeExtra(frame->heldBytes() + noted)) {
        return nullptr;
    }
    return frame;
}

std::string KvPCAPCapture::memoryLimitText(std::uint64_t frames) {
    return "memory limit reached after " + std::to_string(frames) + " frames";
}
