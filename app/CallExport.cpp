#include "app/CallExport.h"

#include "capture/PcapHandles.h"
#include "common/NewFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

namespace {

// The file's own time precision, so that the packets are written as they were.
int precisionOf(const std::string& path) {
    std::uint8_t magic[4] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool read = fd >= 0 && ::read(fd, magic, sizeof magic) == 4;
    if (fd >= 0) {
        ::close(fd);
    }
    const bool nano =
        read && ((magic[0] == 0x4D && magic[1] == 0x3C && magic[2] == 0xB2 && magic[3] == 0xA1) ||
                 (magic[0] == 0xA1 && magic[1] == 0xB2 && magic[2] == 0x3C && magic[3] == 0x4D));
    return nano ? PCAP_TSTAMP_PRECISION_NANO : PCAP_TSTAMP_PRECISION_MICRO;
}

} // namespace

bool writeCallPackets(const std::string& capturePath,
                      const std::vector<std::uint32_t>& frameNumbers,
                      const std::string& destination, std::string& error) {
    if (capturePath == "-") {
        // libpcap would read what is left of standard input as a new file.
        error = "the call's packets cannot be read again: the capture came from standard input";
        return false;
    }
    char errorText[PCAP_ERRBUF_SIZE] = {};
    const PcapHandle input(pcap_open_offline_with_tstamp_precision(
        capturePath.c_str(), precisionOf(capturePath), errorText));
    if (!input) {
        error = errorText;
        return false;
    }
    NewFile file(destination);
    if (!file.ok()) {
        error = file.error();
        return false;
    }
    // libpcap writes through a stream of its own on a copy of the descriptor.
    const int streamFd = ::dup(file.descriptor());
    std::FILE* stream = streamFd >= 0 ? fdopen(streamFd, "wb") : nullptr;
    if (stream == nullptr) {
        error = destination + ": " + std::strerror(errno);
        if (streamFd >= 0) {
            ::close(streamFd);
        }
        return false;
    }
    PcapDumper output(pcap_dump_fopen(input.get(), stream));
    if (!output) {
        error = pcap_geterr(input.get());
        std::fclose(stream);
        return false;
    }
    const std::unordered_set<std::uint32_t> wanted(frameNumbers.begin(), frameNumbers.end());
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    for (std::uint32_t number = 1; pcap_next_ex(input.get(), &header, &data) == 1; ++number) {
        if (wanted.contains(number)) {
            pcap_dump(reinterpret_cast<u_char*>(output.get()), header, data);
        }
    }
    const bool written =
        pcap_dump_flush(output.get()) == 0 && std::ferror(pcap_dump_file(output.get())) == 0;
    if (!written) {
        error = destination + ": " + std::strerror(errno);
        return false;
    }
    output.reset();
    if (!file.commit()) {
        error = file.error();
        return false;
    }
    return true;
}
