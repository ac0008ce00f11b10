#pragma once

#include "capturefile/CaptureFormat.h"
#include "capturefile/PcapHandles.h"
#include "linklayer/LinkTypes.h"
#include "record/CapturedPacket.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Writes packets to a capture file, the one way Quorvex writes them: the
// exports, the live capture's file and the generated samples. pcap goes
// through libpcap, in micro- or nanoseconds; pcapng (nanoseconds, one
// interface, in this machine's byte order) is written here, as libpcap
// writes none, and carries a comment per packet.
//
// A failed write is kept: failed() says so from then on and error() why,
// so that a file that lost packets is never taken for whole.
struct CaptureFileLayout {
    CaptureFormat format = CaptureFormat::Pcap; // Pcap, PcapNanoseconds or Pcapng
    std::uint16_t linkType = linktype::ethernet;
    std::uint32_t snapshotLength = maxSnapshotLength;
};

class CaptureFileWriter final {
public:
    using Layout = CaptureFileLayout;

    // Creates or truncates `path` ("-" for standard output).
    explicit CaptureFileWriter(const std::string& path, Layout layout = {});
    // A pcap file of `linkType`, in microseconds.
    CaptureFileWriter(const std::string& path, std::uint16_t linkType);
    // Writes to `stream`, already open, which it closes.
    CaptureFileWriter(std::FILE* stream, Layout layout);
    ~CaptureFileWriter();
    CaptureFileWriter(const CaptureFileWriter&) = delete;
    CaptureFileWriter& operator=(const CaptureFileWriter&) = delete;

    // Whether the file was opened and its header written.
    [[nodiscard]] bool ok() const { return stream_ != nullptr; }
    [[nodiscard]] const std::string& error() const { return error_; }

    // `comment` is kept in a pcapng file, left out of a pcap one.
    bool write(const CapturedPacket& packet, std::string_view comment = {});
    // A packet captured at `microseconds`; `capturedLength` below its size
    // records it cut short.
    void write(std::span<const std::uint8_t> packet, std::int64_t microseconds,
               std::size_t capturedLength = static_cast<std::size_t>(-1));

    // Where the next packet's record starts; -1 where unknown.
    [[nodiscard]] std::int64_t position() const;
    // Puts what is buffered into the file; false, with error() set, where it
    // did not all go.
    bool flush();
    // Flushes and closes; false where anything failed since the open.
    bool close();
    // True once a write failed (a full disk, a reader that went away).
    [[nodiscard]] bool failed() const;
    // The stream written to, while open: for cutting a file back.
    [[nodiscard]] std::FILE* stream() const { return stream_; }

private:
    void open(std::FILE* stream);
    bool fail(std::string why);
    bool writePcapngBlock(std::vector<std::uint8_t>& block);

    Layout layout_;
    PcapHandle format_; // pcap: what the dumper writes for
    PcapDumper dumper_; // pcap: owns the stream once made
    std::FILE* stream_ = nullptr;
    std::string error_;
    bool failed_ = false;
};
