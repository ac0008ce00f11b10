#include "samples/CaptureFileReader.h"

#include "capturefile/PacketFileReader.h"

namespace {

// Calls `visit` with every packet's captured bytes; false with `error` set
// when the file cannot be opened or a packet cannot be read.
template <class Visit>
bool forEachPacket(const std::string& path, std::string* error, Visit visit) {
    std::string why;
    const auto file = PacketFileReader::open(path, why);
    const bool read = file && file->visitAll(
                                  [&visit](const CapturedPacket& packet, std::uint32_t) {
                                      visit(packet.bytes);
                                      return true;
                                  },
                                  why);
    if (error != nullptr) {
        *error = why;
    }
    return read;
}

} // namespace

std::vector<std::vector<std::uint8_t>> readCapturedPackets(const std::string& path,
                                                           std::string* error) {
    std::vector<std::vector<std::uint8_t>> packets;
    forEachPacket(path, error, [&packets](std::span<const std::uint8_t> bytes) {
        packets.emplace_back(bytes.begin(), bytes.end());
    });
    return packets;
}

long countCapturedPackets(const std::string& path, std::string* error) {
    long count = 0;
    forEachPacket(path, error, [&count](std::span<const std::uint8_t>) { ++count; });
    return count;
}
