#pragma once

#include "capturefile/PcapHandles.h"
#include "record/CapturedPacket.h"

// Writes a packet as a pcap record through `dumper`, its time in the
// precision the dumper's file was opened with.
inline void dumpPacket(pcap_dumper_t* dumper, const CapturedPacket& packet, bool nanoseconds) {
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(packet.seconds);
    header.ts.tv_usec =
        static_cast<suseconds_t>(nanoseconds ? packet.nanoseconds : packet.nanoseconds / 1000);
    header.caplen = static_cast<bpf_u_int32>(packet.bytes.size());
    header.len = packet.wireLength;
    pcap_dump(reinterpret_cast<u_char*>(dumper), &header, packet.bytes.data());
}
