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
    const std::uint64_t noted =
        frame->facts().encryption() == Encryption::Opened ? sizeof(OpenedPackets::Entry) : 0;
    if (!allocator_.chargeExtra(frame->heldBytes() + noted)) {
        return nullptr;
    }
    return frame;
}

std::string KvPCAPCapture::memoryLimitText(std::uint64_t frames) {
    return "memory limit reached after " + std::to_string(frames) + " frames";
}

KvPCAPCapture::ReadEnd KvPCAPCapture::readPackets(PacketRun& run, RunSummary& summary) {
    CapturedPacket packet;
    while (run.goesOn()) {
        switch (run.next(packet)) {
        case PacketRun::Next::Idle:
            run.idle();
            continue;
        case PacketRun::Next::End:
            return {};
        case PacketRun::Next::Failed:
            return {run.failure(), true};
        case PacketRun::Next::Packet:
            break;
        }
        // A record the memory budget refuses stops the run, keeping what it
        // has, rather than being killed for more.
        auto frame = decodePacket(packet);
        if (!frame) {
            return {memoryLimitText(summary.packetsRead)};
        }
        ++summary.packetsRead;
        if (tap_) {
            tap_->tap(packet, *frame);
        }
        if (!run.keep(packet, std::move(frame))) {
            return {run.failure()};
        }
    }
    return {};
}
