#pragma once

#include <cstdint>
#include <span>
#include <string>

struct pcap;
struct pcap_dumper;

// Writes packets to a standard pcap file through libpcap.
class CaptureFileWriter final {
public:
    // Opens `path` ("-" for standard output) for packets of the link-layer
    // type `linkType` (a DLT, Ethernet by default); ok() tells whether that worked.
    explicit CaptureFileWriter(const std::string& path, int linkType = 1);
    ~CaptureFileWriter();
    CaptureFileWriter(const CaptureFileWriter&) = delete;
    CaptureFileWriter& operator=(const CaptureFileWriter&) = delete;

    [[nodiscard]] bool ok() const { return dumper_ != nullptr; }
    [[nodiscard]] const std::string& error() const { return error_; }

    // `capturedLength` below the packet's size records a packet cut short.
    void write(std::span<const std::uint8_t> packet, std::int64_t microseconds,
               std::size_t capturedLength = static_cast<std::size_t>(-1));
    void close();
    // True once a write failed (a full disk, a reader that went away).
    [[nodiscard]] bool failed() const;

private:
    pcap* handle_ = nullptr;
    pcap_dumper* dumper_ = nullptr;
    std::string error_;
};
