#include "capture/CapturePermission.h"

#include "privileges/MwAuthentication.h"

#include <sys/capability.h>
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

class LinuxCapabilityPermission final : public CapturePermission {
public:
    void widen() override { raised() = setEffective(CAP_SET); }
    void interfaceOpened() override { narrow(); }
    void narrow() override {
        if (raised()) {
            setEffective(CAP_CLEAR);
            raised() = false;
        }
    }

private:
    // Per thread, like the capabilities themselves.
    static bool& raised() {
        thread_local bool value = false;
        return value;
    }

    // Sets or clears the two capabilities in the effective set where the
    // permitted set holds them and the effective set does not already (root's
    // are left alone). True when something changed.
    static bool setEffective(cap_flag_value_t value) {
        cap_t caps = cap_get_proc();
        if (caps == nullptr) {
            return false;
        }
        std::vector<cap_value_t> change;
        for (cap_value_t cap : {CAP_NET_RAW, CAP_NET_ADMIN}) {
            cap_flag_value_t permitted = CAP_CLEAR;
            cap_flag_value_t effective = CAP_CLEAR;
            cap_get_flag(caps, cap, CAP_PERMITTED, &permitted);
            cap_get_flag(caps, cap, CAP_EFFECTIVE, &effective);
            if (permitted == CAP_SET && effective != value) {
                change.push_back(cap);
            }
        }
        bool changed = false;
        if (!change.empty() && cap_set_flag(caps, CAP_EFFECTIVE, static_cast<int>(change.size()),
                                            change.data(), value) == 0) {
            changed = cap_set_proc(caps) == 0;
        }
        cap_free(caps);
        return changed;
    }
};

} // namespace

std::unique_ptr<CapturePermission> makeCapturePermission() {
    if (access(bpfDevice, F_OK) == 0) {
        return std::make_unique<BpfDevicePermission>();
    }
    return std::make_unique<LinuxCapabilityPermission>();
}
