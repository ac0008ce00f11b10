#include "samples/CaptureFileReader.h"

#include <pcap/pcap.h>

namespace {

// Calls `visit` with every packet's captured bytes; false with `error` set
// when the file cannot be opened.
template <class Visit>
bool forEachPacket(const std::string& path, std::string* error, Visit visit) {
    char errorText[PCAP_ERRBUF_SIZE] = {};
    pcap_t* file = pcap_open_offline(path.c_str(), errorText);
    if (file == nullptr) {
        if (error != nullptr) {
            *error = errorText;
        }
        return false;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(file, &header, &data) == 1) {
        visit(data, header->caplen);
    }
    pcap_close(file);
    return true;
}

} // namespace

std::vector<std::vector<std::uint8_t>> readCapturedPackets(const std::string& path,
                                                           std::string* error) {
    std::vector<std::vector<std::uint8_t>> packets;
    forEachPacket(path, error, [&packets](const u_char* data, std::uint32_t length) {
        packets.emplace_back(data, data + length);
    });
    return packets;
}

long countCapturedPackets(const std::string& path, std::string* error) {
    long count = 0;
    forEachPacket(path, error, [&count](const u_char*, std::uint32_t) { ++count; });
    return count;
}
