#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes the packets of one call, unchanged, from the capture file they were
// read from to a new pcap file: whole or not at all (a hidden file beside
// the destination, linked into place), and never over an existing file.
// `frameNumbers` are 1-based positions in the capture file. False, with
// `error` set, when anything fails.
bool writeCallPackets(const std::string& capturePath,
                      const std::vector<std::uint32_t>& frameNumbers,
                      const std::string& destination, std::string& error);
