// Any bytes as a capture file: read in order, then every packet read again at
// the offset the reader gave it. Where both say the packet has the same
// length, they must give the same bytes.
#include "capturefile/PacketFileAccess.h"
#include "capturefile/PacketFileReader.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = memfd_create("capture", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        if (fd >= 0) {
            ::close(fd);
        }
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    std::string error;
    const auto reader = PacketFileReader::open(path, error);
    const auto access = PacketFileAccess::open(path, error);
    if (reader && access) {
        CapturedPacket packet;
        std::vector<std::uint8_t> again;
        while (reader->next(packet) == PacketFileReader::Read::Packet) {
            const auto record = access->recordAt(packet.fileOffset);
            if (!record || record->capturedLength != packet.bytes.size()) {
                continue; // read back, this is "the file changed": an error, not a fault
            }
            again.resize(packet.bytes.size());
            if (!access->read(*record, 0, again) ||
                !std::equal(again.begin(), again.end(), packet.bytes.begin())) {
                std::abort(); // found again at its offset, but not the same packet
            }
        }
    }
    ::close(fd);
    return 0;
}
