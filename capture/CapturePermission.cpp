#include "capture/CapturePermission.h"

#include "privileges/MwAuthentication.h"

#include <unistd.h>

#include <string>
#include <vector>

namespace {

constexpr const char* bpfDevice = "/dev/bpf0";

class BpfDevicePermission final : public CapturePermission {
public:
    // The result is not looked at: when the rights are refused the open fails
    // and says why.
    void widen() override { chmod("o+r"); }
    void narrow() override { chmod("o-r"); }

private:
    static void chmod(const char* mode) {
        MwAuthentication::sharedInstance().executeCommandSynced(
            "/bin/chmod", std::vector<std::string>{mode, bpfDevice});
    }
};

// On Linux the capture helper alone holds the capture rights (a file
// capability, or root); this process needs nothing.
class NoPermissionNeeded final : public CapturePermission {
public:
    void widen() override {}
    void narrow() override {}
};

} // namespace

std::unique_ptr<CapturePermission> makeCapturePermission() {
    if (access(bpfDevice, F_OK) == 0) {
        return std::make_unique<BpfDevicePermission>();
    }
    return std::make_unique<NoPermissionNeeded>();
}
