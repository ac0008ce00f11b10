#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Writes packets of a capture file, unchanged, to a new file: whole or not
// at all (a hidden file beside the destination, linked into place), and
// never over an existing file.
enum class ExportFormat { Pcap, Pcapng };

// pcapng for a name ending ".pcapng", pcap otherwise.
[[nodiscard]] ExportFormat exportFormatOf(const std::string& path);

// The packets `packetNumbers` (1-based positions in the capture file) of
// `capturePath`, in file order. pcap keeps the file's own time precision;
// pcapng has nanoseconds and carries `comments` (by packet number) as the
// packets' comments. False, with `error` set, when anything fails.
bool writePackets(const std::string& capturePath, const std::vector<std::uint32_t>& packetNumbers,
                  const std::string& destination, ExportFormat format, std::string& error,
                  const std::map<std::uint32_t, std::string>& comments = {});
