#include "capture/KvPCAPCapture.h"

#include <iostream>

KvPCAPCapture::KvPCAPCapture(const CaptureServices& services)
    : services_(services),
      dissector_(services.unknownElementDump != nullptr ? *services.unknownElementDump : std::cout),
      delivery_(services) {}

std::shared_ptr<KvIAXFrame> KvPCAPCapture::decodePacket(const CapturedPacket& packet) {
    auto frame = allocator_.makeFrame();
    dissector_.decodeInto(packet, *frame);
    return frame;
}
