#include "capturefile/PacketFileReader.h"

#include "capturefile/CaptureFormat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

// libpcap hands every file's times in nanoseconds when asked to; the file's
// magic number says whether it held nanoseconds or microseconds. Files that
// cannot be read twice count as microseconds.
TimeResolution resolutionOf(const FileFormat& format) {
    return format.format == CaptureFormat::PcapNanoseconds ? TimeResolution::Nanoseconds
                                                           : TimeResolution::Microseconds;
}

// Link types whose records libpcap hands over as the file holds them. It
// rewrites the headers of some others (USB, netfilter, CAN) in a file of
// the other byte order, and allows some longer records.
bool handedOverAsStored(int linkType) {
    return linkType == DLT_EN10MB || linkType == DLT_RAW || linkType == DLT_NULL ||
           linkType == DLT_LOOP || linkType == DLT_IPV4 || linkType == DLT_IPV6;
}

} // namespace

std::string whyNotReadAgain(const std::string& path) {
    struct stat status {};
    if (path == "-") {
        return "the capture came from standard input";
    }
    if (path.empty()) {
        return "the capture has no file";
    }
    if (::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode)) {
        return {};
    }
    return S_ISFIFO(status.st_mode) ? "the capture came from a pipe, which is read once"
                                    : "the capture came from a device, which is read once";
}

std::unique_ptr<PacketFileReader> PacketFileReader::open(const std::string& path,
                                                         std::string& error) {
    char errorText[PCAP_ERRBUF_SIZE] = {};
    // A regular file is read through a stream of our own with a large
    // buffer: the library's stream would read it 4 KiB a system call.
    // Anything else, or a file that will not open, goes to the library,
    // which reads standard input for "-" and words the errors.
    std::unique_ptr<char[]> buffer;
    PcapHandle handle;
    struct stat status {};
    if (path != "-" && ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
        if (std::FILE* stream = std::fopen(path.c_str(), "rbe")) {
            buffer = std::make_unique<char[]>(streamBufferSize);
            std::setvbuf(stream, buffer.get(), _IOFBF, streamBufferSize);
            handle.reset(pcap_fopen_offline_with_tstamp_precision(
                stream, PCAP_TSTAMP_PRECISION_NANO, errorText));
            if (!handle) {
                std::fclose(stream);
                error = errorText;
                return nullptr;
            }
        }
    }
    if (!handle) {
        buffer.reset();
        handle.reset(pcap_open_offline_with_tstamp_precision(
            path.c_str(), PCAP_TSTAMP_PRECISION_NANO, errorText));
    }
    if (!handle) {
        error = errorText;
        return nullptr;
    }
    const FileFormat format = captureFormat(path);
    auto reader = std::unique_ptr<PacketFileReader>(
        new PacketFileReader(std::move(handle), resolutionOf(format), true));
    reader->streamBuffer_ = std::move(buffer);
    if (reader->streamBuffer_ != nullptr &&
        (format.format == CaptureFormat::Pcap || format.format == CaptureFormat::PcapNanoseconds)) {
        reader->readClassicRecordsDirectly(format.bigEndian);
    }
    return reader;
}

std::unique_ptr<PacketFileReader> PacketFileReader::openStream(std::FILE* stream,
                                                               std::string& error) {
    char errorText[PCAP_ERRBUF_SIZE] = {};
    PcapHandle handle(
        pcap_fopen_offline_with_tstamp_precision(stream, PCAP_TSTAMP_PRECISION_NANO, errorText));
    if (!handle) {
        error = errorText;
        return nullptr;
    }
    return std::unique_ptr<PacketFileReader>(
        new PacketFileReader(std::move(handle), TimeResolution::Microseconds, false));
}

PacketFileReader::PacketFileReader(PcapHandle handle, TimeResolution resolution, bool knowsOffsets)
    : handle_(std::move(handle)), resolution_(resolution),
      linkType_(static_cast<std::uint16_t>(pcap_datalink(handle_.get()))),
      classicRecords_(pcap_major_version(handle_.get()) == 2), knowsOffsets_(knowsOffsets) {}

void PacketFileReader::readClassicRecordsDirectly(bool bigEndian) {
    std::FILE* stream = pcap_file(handle_.get());
    const long firstRecord = stream != nullptr ? std::ftell(stream) : -1;
    if (!classicRecords_ || firstRecord < 0 || !handedOverAsStored(linkType_)) {
        return;
    }
    classic_ = std::make_unique<ClassicRecords>(
        ::fileno(stream), static_cast<std::uint64_t>(firstRecord),
        ClassicRecords::Layout{bigEndian, resolution_ == TimeResolution::Nanoseconds,
                               snapshotLength(), linkType_});
}

std::uint32_t PacketFileReader::snapshotLength() const {
    return static_cast<std::uint32_t>(std::max(pcap_snapshot(handle_.get()), 0));
}

PacketFileReader::Read PacketFileReader::next(CapturedPacket& packet) {
    if (classic_) {
        switch (classic_->next(packet)) {
        case ClassicRecords::Read::Packet:
            return Read::Packet;
        case ClassicRecords::Read::End:
            return Read::End;
        case ClassicRecords::Read::Failed:
            return Read::Failed;
        }
    }
    // Where the next record starts. libpcap reads the file through this
    // stream; asking it costs a system call, so in a classic pcap file, whose
    // records are a 16-byte header and the captured bytes, it is asked once.
    std::int64_t offset = knowsOffsets_ ? nextOffset_ : -1;
    if (knowsOffsets_ && offset < 0) {
        std::FILE* stream = pcap_file(handle_.get());
        offset = stream != nullptr ? std::ftell(stream) : -1;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    const int status = pcap_next_ex(handle_.get(), &header, &data);
    if (status == PCAP_ERROR_BREAK) {
        return Read::End;
    }
    if (status != 1) {
        return Read::Failed;
    }
    packet.bytes = {data, header->caplen};
    packet.wireLength = header->len;
    // A pcap record's seconds are an unsigned 32-bit field, which libpcap
    // reads as signed: 0x80000000 and above are after 2038, not before 1970.
    packet.seconds = classicRecords_
                         ? static_cast<std::int64_t>(static_cast<std::uint32_t>(header->ts.tv_sec))
                         : header->ts.tv_sec;
    packet.nanoseconds = static_cast<std::uint32_t>(header->ts.tv_usec); // nanoseconds, as asked
    packet.resolution = resolution_;
    packet.linkType = linkType_;
    packet.index = nextIndex_++;
    // libpcap cuts a record longer than the file's snapshot length to it, so
    // such a record's length is not known here: the stream is asked again.
    const bool maybeCut = header->caplen >= static_cast<bpf_u_int32>(pcap_snapshot(handle_.get()));
    nextOffset_ = classicRecords_ && offset >= 0 && !maybeCut
                      ? offset + classicRecordHeaderLength + header->caplen
                      : -1;
    packet.fileOffset =
        offset >= 0 ? static_cast<std::uint64_t>(offset) : FrameFacts::unknownFileOffset;
    return Read::Packet;
}

std::string PacketFileReader::errorText() const {
    if (classic_ && !classic_->errorText().empty()) {
        return classic_->errorText();
    }
    std::string text = pcap_geterr(handle_.get());
    // libpcap reads a pcapng file only while all its interfaces have the
    // link type of the first; say how to get at the packets anyway.
    if (text.find("different from the type of the first interface") != std::string::npos) {
        text += "; this pcapng file mixes link types, which the capture library cannot read in "
                "one go: write each interface's packets to a file of its own, for example with "
                "tshark -r FILE -Y \"frame.interface_id == 0\" -w interface0.pcapng";
    }
    return text;
}

bool PacketFileReader::visit(std::span<const std::uint32_t> wanted, const Visit& visit,
                             std::string& error) {
    CapturedPacket packet;
    std::size_t next = 0;
    for (std::uint32_t number = 1; next < wanted.size(); ++number) {
        while (next < wanted.size() && wanted[next] < number) {
            ++next; // a number no packet has (0), or one given twice
        }
        if (next == wanted.size()) {
            break;
        }
        const Read read = this->next(packet);
        if (read != Read::Packet) {
            // Fewer packets than were asked for must not look like all of them.
            error = read == Read::Failed
                        ? "packet " + std::to_string(number) + " could not be read: " + errorText()
                        : "the file ends at packet " + std::to_string(number - 1) +
                              ", before packet " + std::to_string(wanted.back());
            return false;
        }
        if (wanted[next] == number) {
            if (!visit(packet, number)) {
                return true;
            }
            ++next;
        }
    }
    return true;
}

bool PacketFileReader::visitAll(const Visit& visit, std::string& error) {
    CapturedPacket packet;
    std::uint32_t number = 1;
    for (Read read = next(packet); read != Read::End; read = next(packet), ++number) {
        if (read == Read::Failed) {
            error = "packet " + std::to_string(number) + " could not be read: " + errorText();
            return false;
        }
        if (!visit(packet, number)) {
            break;
        }
    }
    return true;
}
