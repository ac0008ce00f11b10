// quorvex-capture: the only Quorvex program that may hold capture rights.
//
//   quorvex-capture INTERFACE SNAPLEN PROMISCUOUS(0|1) TIMEOUT_MS FILTER
//
// It opens the interface (raising CAP_NET_RAW and CAP_NET_ADMIN from its
// permitted set for that alone), installs the compiled filter, then drops
// every capability for good and writes the packets to standard output as a
// pcap stream. It links libpcap and libcap and nothing else, and clears its
// environment before anything else: the programs that show the packets load
// toolkits, and toolkits load code the environment names, so none of them
// may hold capabilities, and libpcap itself reads the environment for some
// of its sources (a D-Bus address may name a program to run).
//
// Any local user may be able to start it, so it takes only what a capture of
// a network interface needs: an interface that exists (or "any"), never
// another kind of libpcap source (D-Bus, netfilter queues and logs, USB,
// Bluetooth, RDMA...); a snapshot length and a read time-out within bounds.
//
// It stops when standard input ends (its parent closed it, or died), on
// SIGTERM or SIGINT, or when standard output fails. Failures go to standard
// error as the capture library's text, one line, with exit status 3 (open),
// 4 (filter), 5 (the interface went away) or 6 (no stream could be written).
// On the way out it writes "stats RECEIVED DROPPED INTERFACE_DROPPED" on
// standard error.
#include "capturefile/SnapshotLength.h"

#include <pcap/pcap.h>
#include <sys/capability.h>
#include <sys/prctl.h>

#include <net/if.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int) {
    stopRequested = 1;
}

// Raises the two capabilities into the effective set where they are
// permitted (a file capability); root already has them.
void raiseCaptureCapabilities() {
    cap_t caps = cap_get_proc();
    if (caps == nullptr) {
        return;
    }
    const cap_value_t wanted[] = {CAP_NET_RAW, CAP_NET_ADMIN};
    for (const cap_value_t cap : wanted) {
        cap_flag_value_t permitted = CAP_CLEAR;
        cap_get_flag(caps, cap, CAP_PERMITTED, &permitted);
        if (permitted == CAP_SET) {
            cap_set_flag(caps, CAP_EFFECTIVE, 1, &cap, CAP_SET);
        }
    }
    cap_set_proc(caps);
    cap_free(caps);
}

// Drops every capability from every set, and the bounding set, so that
// nothing this process runs later can get one back. False when that failed.
bool dropCapabilitiesForGood() {
    for (cap_value_t cap = 0; cap <= CAP_LAST_CAP; ++cap) {
        prctl(PR_CAPBSET_DROP, cap, 0, 0, 0); // refused without CAP_SETPCAP: then nothing to drop
    }
    cap_t none = cap_init();
    const bool dropped = none != nullptr && cap_set_proc(none) == 0;
    cap_free(none);
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    return dropped;
}

int fail(int status, const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return status;
}

// What libpcap opens as something other than a network interface, by name.
constexpr const char* otherSources[] = {"dbus", "nflog",  "nfqueue", "usbmon", "bluetooth", "rdma",
                                        "dpdk", "snf",    "netmap",  "vale",   "rpcap",     "file",
                                        "dag",  "septel", "zc",      "canusb"};

// A network interface of this host by its plain name, or "any".
bool isNetworkInterface(const std::string& name) {
    if (name == "any") {
        return true;
    }
    if (name.empty() || name.size() >= IF_NAMESIZE ||
        name.find_first_of(":/ \t") != std::string::npos) {
        return false;
    }
    for (const char* prefix : otherSources) {
        if (name.starts_with(prefix)) {
            return false;
        }
    }
    return if_nametoindex(name.c_str()) != 0;
}

// A decimal number in [low, high], or -1.
long boundedNumber(const char* text, long low, long high) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && errno == 0 && value >= low && value <= high ? value : -1;
}

void writeStatistics(pcap_t* handle) {
    pcap_stat statistics{};
    if (pcap_stats(handle, &statistics) == 0) {
        std::fprintf(stderr, "stats %u %u %u\n", statistics.ps_recv, statistics.ps_drop,
                     statistics.ps_ifdrop);
    }
}

// Forgets the environment, its inherited bytes too: nothing this process
// loads or runs can read a variable that the user who started it set.
void clearEnvironment() {
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::memset(*entry, 0, std::strlen(*entry));
    }
    clearenv();
}

} // namespace

int main(int argc, char** argv) {
    clearEnvironment();
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quorvex-capture %s\n", QUORVEX_VERSION);
        return 0;
    }
    const std::string usage = "usage: quorvex-capture INTERFACE SNAPLEN(1-" +
                              std::to_string(maxSnapshotLength) +
                              ") PROMISCUOUS(0|1) TIMEOUT_MS(1-1000) FILTER";
    if (argc != 6) {
        return fail(2, usage);
    }
    const std::string interfaceName = argv[1];
    const long snapshotLength = boundedNumber(argv[2], 1, maxSnapshotLength);
    const long timeoutMs = boundedNumber(argv[4], 1, 1000);
    if (snapshotLength < 0 || timeoutMs < 0 ||
        (std::strcmp(argv[3], "0") != 0 && std::strcmp(argv[3], "1") != 0)) {
        return fail(2, usage);
    }
    const bool promiscuous = std::strcmp(argv[3], "1") == 0;
    const char* filter = argv[5];
    if (!isNetworkInterface(interfaceName)) {
        dropCapabilitiesForGood();
        return fail(3, interfaceName +
                           ": no such network interface (the capture helper opens network "
                           "interfaces and \"any\", nothing else)");
    }
    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGPIPE, SIG_IGN);

    raiseCaptureCapabilities();
    char errorText[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_open_live(interfaceName.c_str(), static_cast<int>(snapshotLength),
                                    promiscuous ? 1 : 0, static_cast<int>(timeoutMs), errorText);
    if (handle == nullptr) {
        dropCapabilitiesForGood();
        return fail(3, errorText);
    }
    bpf_program program{};
    const bool compiled = pcap_compile(handle, &program, filter, 1, 0) == 0;
    const bool installed = compiled && pcap_setfilter(handle, &program) == 0;
    if (compiled) {
        pcap_freecode(&program);
    }
    if (!dropCapabilitiesForGood()) {
        pcap_close(handle);
        return fail(3, "cannot drop the capture capabilities");
    }
    if (!installed) {
        const std::string reason = pcap_geterr(handle);
        pcap_close(handle);
        return fail(4, reason);
    }

    pcap_dumper_t* out = pcap_dump_fopen(handle, stdout);
    if (out == nullptr) {
        const std::string reason = pcap_geterr(handle);
        pcap_close(handle);
        return fail(6, reason);
    }
    pcap_dump_flush(out); // the stream's header: the parent knows the open worked

    // Non-blocking reads: on Linux a blocking read's time-out only starts
    // once a packet has arrived, and the stop must be seen without traffic.
    const int selectable = pcap_get_selectable_fd(handle);
    pcap_setnonblock(handle, 1, errorText);
    const unsigned interfaceIndex = if_nametoindex(interfaceName.c_str());
    int status = 0;
    std::string reason;
    while (stopRequested == 0) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int read = pcap_next_ex(handle, &header, &data);
        if (read == 1) {
            pcap_dump(reinterpret_cast<u_char*>(out), header, data);
            continue;
        }
        if (read < 0) {
            if (read == PCAP_ERROR_IFACE_NOT_UP ||
                (interfaceIndex != 0 && if_nametoindex(interfaceName.c_str()) == 0)) {
                status = 5;
                reason = interfaceName + ": the interface went away (" + pcap_geterr(handle) + ")";
                break;
            }
            // Any other failed read does not end the capture, but must not
            // keep a core busy either.
            usleep(static_cast<useconds_t>(timeoutMs) * 1000);
        }
        // Nothing to read now: hand over what was written, then wait for
        // packets or the parent, one read time-out at most.
        if (pcap_dump_flush(out) != 0) {
            break; // the parent no longer reads
        }
        pollfd ready[2] = {{selectable, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        poll(ready, 2, timeoutMs);
        if ((ready[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char byte = 0;
            if (::read(STDIN_FILENO, &byte, 1) <= 0) {
                break; // the parent closed the pipe, or is gone
            }
        }
    }
    pcap_dump_flush(out);
    writeStatistics(handle);
    pcap_dump_close(out);
    pcap_close(handle);
    if (status == 5) {
        return fail(status, reason);
    }
    return 0;
}
