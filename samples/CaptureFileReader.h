#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The captured bytes of every packet of a capture file, in order; empty with
// `error` set when the file cannot be read.
std::vector<std::vector<std::uint8_t>> readCapturedPackets(const std::string& path,
                                                           std::string* error = nullptr);

// How many packets the file holds, without keeping them.
long countCapturedPackets(const std::string& path, std::string* error = nullptr);
