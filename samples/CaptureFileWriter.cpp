#include "samples/CaptureFileWriter.h"

#include <pcap/pcap.h>

#include <cstdio>

#include <algorithm>

CaptureFileWriter::CaptureFileWriter(const std::string& path, int linkType) {
    handle_ = pcap_open_dead(linkType, 65535);
    if (handle_ == nullptr) {
        error_ = "pcap_open_dead failed";
        return;
    }
    dumper_ = pcap_dump_open(handle_, path.c_str());
    if (dumper_ == nullptr) {
        error_ = pcap_geterr(handle_);
    }
}

CaptureFileWriter::~CaptureFileWriter() {
    close();
}

void CaptureFileWriter::write(std::span<const std::uint8_t> packet, std::int64_t microseconds,
                              std::size_t capturedLength) {
    if (dumper_ == nullptr) {
        return;
    }
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(microseconds / 1000000);
    header.ts.tv_usec = static_cast<suseconds_t>(microseconds % 1000000);
    header.caplen = static_cast<bpf_u_int32>(std::min(capturedLength, packet.size()));
    header.len = static_cast<bpf_u_int32>(packet.size());
    pcap_dump(reinterpret_cast<u_char*>(dumper_), &header, packet.data());
}

void CaptureFileWriter::close() {
    if (dumper_ != nullptr) {
        pcap_dump_close(dumper_);
        dumper_ = nullptr;
    }
    if (handle_ != nullptr) {
        pcap_close(handle_);
        handle_ = nullptr;
    }
}

bool CaptureFileWriter::failed() const {
    return dumper_ == nullptr || std::ferror(pcap_dump_file(dumper_)) != 0;
}
