#include "samples/CaptureFileReader.h"

#include <pcap/pcap.h>

std::vector<std::vector<std::uint8_t>> readCapturedPackets(const std::string& path,
                                                           std::string* error) {
    std::vector<std::vector<std::uint8_t>> packets;
    char errorText[PCAP_ERRBUF_SIZE] = {};
    pcap_t* file = pcap_open_offline(path.c_str(), errorText);
    if (file == nullptr) {
        if (error != nullptr) {
            *error = errorText;
        }
        return packets;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(file, &header, &data) == 1) {
        packets.emplace_back(data, data + header->caplen);
    }
    pcap_close(file);
    return packets;
}
