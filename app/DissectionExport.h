#pragma once

#include <cstdint>
#include <string>
#include <vector>

class KvIAXCapture;

// The packet details of some frames, written as tshark writes them: as text
// (-V, a blank line after each) or as JSON (-T json). To a new file, whole
// or not at all, never over an existing one.
enum class DissectionFormat { Text, Json };

// `frames` are 1-based positions in the capture's list, in the order
// wanted. False, with `error` set, where the file cannot be written; frames
// whose bytes cannot be read again are written from their records alone.
bool exportDissections(const KvIAXCapture& capture, const std::vector<std::uint32_t>& frames,
                       DissectionFormat format, const std::string& destination, std::string& error);
