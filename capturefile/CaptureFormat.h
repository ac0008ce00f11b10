#pragma once

#include "capturefile/SnapshotLength.h"

#include <cstdint>
#include <span>
#include <string>

// What kind of capture file a file is, told by its first bytes: the one
// place the magic numbers are read.
//
//   pcap     | magic A1B2C3D4 (microseconds) or A1B23C4D (nanoseconds), in
//            | the file's byte order | version | ... | snapshot length | link type |
//   pcapng   | 0A0D0D0A | block length | byte-order magic 1A2B3C4D | ...
enum class CaptureFormat : std::uint8_t { Unknown, Pcap, PcapNanoseconds, Pcapng };

struct FileFormat {
    CaptureFormat format = CaptureFormat::Unknown;
    bool bigEndian = false;           // the file's byte order
    std::uint32_t snapshotLength = 0; // a pcap header's; 0 where it says none or is not pcap
    friend bool operator==(const FileFormat&, const FileFormat&) = default;
};

// A pcapng section header block's type: what starts a pcapng file, and a
// new section in one.
constexpr std::uint32_t pcapngSectionHeader = 0x0A0D0D0A;

// The format of a file that starts with `head` (its first 24 bytes, or all of
// it where it is shorter).
[[nodiscard]] FileFormat formatOfHead(std::span<const std::uint8_t> head);
// The format of the regular file at `path`; Unknown for anything that cannot
// be read twice (standard input, a pipe, a device: a look would take bytes
// from the reader) or read at all.
[[nodiscard]] FileFormat captureFormat(const std::string& path);

// "pcap (microseconds)", "pcap (nanoseconds)", "pcapng"; empty for Unknown.
[[nodiscard]] const char* formatText(CaptureFormat format);
