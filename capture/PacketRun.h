#pragma once

#include "dissect/KvIAXFrame.h"
#include "record/CapturedPacket.h"

#include <memory>
#include <string>

// Where a capture worker's run reads its packets and what becomes of their
// frames: a capture file, whose frames are handed over as they are decoded,
// or the capture helper's stream, whose packets are also written to the
// temporary capture file and handed over once they are in it. The worker's
// one read loop (KvPCAPCapture::readPackets) drives either.
class PacketRun {
public:
    virtual ~PacketRun() = default;

    enum class Next { Packet, Idle, End, Failed };
    // Asked before each read: false once the run reads no more.
    virtual bool goesOn() = 0;
    // The next packet, valid until the next call; Idle where none came
    // within the read time-out; Failed with failure() saying why.
    virtual Next next(CapturedPacket& packet) = 0;
    // Keeps the decoded packet's frame; false, with failure() saying why
    // where there is one, where the run cannot keep it and must end.
    virtual bool keep(const CapturedPacket& packet, std::shared_ptr<KvIAXFrame> frame) = 0;
    // Once no packet is due for a while: what is kept and due goes over.
    virtual void idle() = 0;
    [[nodiscard]] virtual std::string failure() const = 0;
};
