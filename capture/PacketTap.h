#pragma once

#include "dissect/KvIAXFrame.h"
#include "record/CapturedPacket.h"

// Sees every packet a run reads, with the frame it was decoded into, on the
// worker thread and before the frame is handed over: for what needs a
// packet's bytes as they were captured (a HEP feed) without reading them
// back from a file that a long live run may no longer hold. Called for the
// packets in order, the n-th packet of the run being the n-th frame the
// capture gets; it must be quick, as the worker waits for it.
class PacketTap {
public:
    virtual ~PacketTap() = default;
    virtual void tap(const CapturedPacket& packet, const KvIAXFrame& frame) = 0;
};
