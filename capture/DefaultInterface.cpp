#include "capture/DefaultInterface.h"

#include <net/if.h>
#include <pcap/pcap.h>

#include <algorithm>

namespace defaultinterface {

std::string chosenFrom(const std::vector<Listed>& interfaces) {
    if (std::any_of(interfaces.begin(), interfaces.end(),
                    [](const Listed& listed) { return listed.name == "en0"; })) {
        return "en0";
    }
    for (const Listed& listed : interfaces) {
        if (listed.up && !listed.loopback && listed.network && listed.name != "any") {
            return listed.name;
        }
    }
    return "any";
}

std::string onThisMachine() {
    std::vector<Listed> interfaces;
    pcap_if_t* devices = nullptr;
    char error[PCAP_ERRBUF_SIZE];
    if (pcap_findalldevs(&devices, error) == 0) {
        for (const pcap_if_t* device = devices; device != nullptr; device = device->next) {
            interfaces.push_back({device->name, (device->flags & PCAP_IF_UP) != 0,
                                  (device->flags & PCAP_IF_LOOPBACK) != 0,
                                  if_nametoindex(device->name) != 0});
        }
        pcap_freealldevs(devices);
    }
    return chosenFrom(interfaces);
}

} // namespace defaultinterface
