#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The interface a live capture opens when none is named: "en0" where there
// is one, as there is on the systems the window came from; otherwise (most
// Linux machines name theirs eth0, enp3s0, wlan0...) the first interface
// libpcap lists that is up, not the loopback, and a network interface
// rather than a capture source (nflog, dbus); "any" where there is none.
namespace defaultinterface {

struct Listed {
    std::string name;
    bool up = false;
    bool loopback = false;
    bool network = false; // a network interface of the kernel's (it has an index)
};

[[nodiscard]] std::string chosenFrom(const std::vector<Listed>& interfaces);
// The choice among what libpcap lists on this machine.
[[nodiscard]] std::string onThisMachine();

} // namespace defaultinterface
