#include "app/PacketExport.h"

#include "capturefile/CaptureFileWriter.h"
#include "capturefile/PacketFileReader.h"
#include "common/NewFile.h"

#include <algorithm>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

// The writer takes a stream of its own on a copy of the descriptor, so that
// the new file is committed only once the writer has closed it.
std::FILE* streamOn(const NewFile& file) {
    const int copy = ::dup(file.descriptor());
    std::FILE* stream = copy >= 0 ? ::fdopen(copy, "wb") : nullptr;
    if (stream == nullptr && copy >= 0) {
        ::close(copy);
    }
    return stream;
}

} // namespace

ExportFormat exportFormatOf(const std::string& path) {
    return path.size() >= 7 && path.compare(path.size() - 7, 7, ".pcapng") == 0
               ? ExportFormat::Pcapng
               : ExportFormat::Pcap;
}

bool writePackets(const std::string& capturePath, const std::vector<std::uint32_t>& packetNumbers,
                  const std::string& destination, ExportFormat format, std::string& error,
                  const std::map<std::uint32_t, std::string>& comments) {
    // libpcap would read what is left of standard input or a pipe as a new file.
    if (const std::string why = whyNotReadAgain(capturePath); !why.empty()) {
        error = "the packets cannot be read again: " + why;
        return false;
    }
    const auto input = PacketFileReader::open(capturePath, error);
    if (!input) {
        return false;
    }
    NewFile file(destination);
    if (!file.ok()) {
        error = file.error();
        return false;
    }
    // Rising and once each, as the file is read: a set of them took
    // gigabytes and seconds to make at tens of millions of packets.
    std::vector<std::uint32_t> inOrder;
    if (std::adjacent_find(packetNumbers.begin(), packetNumbers.end(), std::greater_equal<>()) !=
        packetNumbers.end()) {
        inOrder = packetNumbers;
        std::sort(inOrder.begin(), inOrder.end());
        inOrder.erase(std::unique(inOrder.begin(), inOrder.end()), inOrder.end());
    }
    const std::vector<std::uint32_t>& wanted = inOrder.empty() ? packetNumbers : inOrder;
    // pcap keeps the file's own time precision, so that packets are written as they were.
    const CaptureFormat kept = input->resolution() == TimeResolution::Nanoseconds
                                   ? CaptureFormat::PcapNanoseconds
                                   : CaptureFormat::Pcap;
    CaptureFileWriter output(streamOn(file),
                             {format == ExportFormat::Pcap ? kept : CaptureFormat::Pcapng,
                              input->linkType(), input->snapshotLength()});
    if (!output.ok()) {
        error = destination + ": " + output.error();
        return false;
    }
    const bool copied = input->visit(
        wanted,
        [&](const CapturedPacket& packet, std::uint32_t number) {
            const auto comment = comments.find(number);
            return output.write(packet, comment != comments.end() ? comment->second : "");
        },
        error);
    if (!output.close() || !copied) {
        if (error.empty()) {
            error = destination + ": " + output.error();
        }
        return false;
    }
    if (!file.commit()) {
        error = file.error();
        return false;
    }
    return true;
}
