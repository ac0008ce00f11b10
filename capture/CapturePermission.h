#pragma once

#include <memory>

// What lets a live run open the network interface, and takes that away again.
// Both steps run on the worker thread: widen() before the interface is
// opened, narrow() after it is closed, also after a run that failed to start.
class CapturePermission {
public:
    virtual ~CapturePermission() = default;
    virtual void widen() = 0;
    // The interface is open; what was widened only for the open may go.
    virtual void interfaceOpened() {}
    virtual void narrow() = 0;
};

// Where the system has a packet-filter device (/dev/bpf0), its permission is
// widened for everyone and narrowed again through the privileged command
// runner. On Linux there is no such device, and the capture helper
// (quorvex-capture) alone holds CAP_NET_RAW and CAP_NET_ADMIN: nothing to do.
std::unique_ptr<CapturePermission> makeCapturePermission();
