#pragma once

#include <pcap/pcap.h>

#include <memory>

// Owners of libpcap's handles, so that no way out of a run closes them by
// hand. Declare a dumper after the handle it writes for: it is then closed
// (and flushed) first.
struct PcapCloser {
    void operator()(pcap_t* handle) const { pcap_close(handle); }
};
using PcapHandle = std::unique_ptr<pcap_t, PcapCloser>;

struct PcapDumperCloser {
    void operator()(pcap_dumper_t* dumper) const { pcap_dump_close(dumper); }
};
using PcapDumper = std::unique_ptr<pcap_dumper_t, PcapDumperCloser>;
