// quorvex-capture: the only Quorvex program that may hold capture rights.
//
//   quorvex-capture INTERFACE SNAPLEN PROMISCUOUS(0|1) TIMEOUT_MS FILTER
//
// It opens the interface (raising CAP_NET_RAW and CAP_NET_ADMIN from its
// permitted set for that alone), installs the compiled filter, then drops
// every capability for good and writes the packets to standard output as a
// pcap stream. It links libpcap and libcap and nothing else, and reads no
// environment: the programs that show the packets load toolkits, and toolkits
// load code the environment names, so none of them may hold capabilities.
//
// It stops when standard input ends (its parent closed it, or died), on
// SIGTERM or SIGINT, or when standard output fails. Failures go to standard
// error as the capture library's text, one line, with exit status 3 (open),
// 4 (filter), 5 (the interface went away) or 6 (no stream could be written).
// On the way out it writes "stats RECEIVED DROPPED INTERFACE_DROPPED" on
// standard error.
#include <pcap/pcap.h>
#include <sys/capability.h>
#include <sys/prctl.h>

#include <net/if.h>
#include <poll.h>
#include <unistd.h>

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

void writeStatistics(pcap_t* handle) {
    pcap_stat statistics{};
    if (pcap_stats(handle, &statistics) == 0) {
        std::fprintf(stderr, "stats %u %u %u\n", statistics.ps_recv, statistics.ps_drop,
                     statistics.ps_ifdrop);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        return fail(2, "usage: quorvex-capture INTERFACE SNAPLEN PROMISCUOUS TIMEOUT_MS FILTER");
    }
    const std::string interfaceName = argv[1];
    const int snapshotLength = std::atoi(argv[2]);
    const bool promiscuous = std::strcmp(argv[3], "1") == 0;
    const int timeoutMs = std::atoi(argv[4]);
    const char* filter = argv[5];
    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGPIPE, SIG_IGN);

    raiseCaptureCapabilities();
    char errorText[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_open_live(interfaceName.c_str(), snapshotLength, promiscuous ? 1 : 0,
                                    timeoutMs, errorText);
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
