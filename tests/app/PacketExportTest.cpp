#include "app/PacketExport.h"
#include "capturefile/PacketFileReader.h"
#include "capturefile/CaptureFileWriter.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

// The first byte of each packet in a capture file, in file order.
std::vector<int> firstBytesOf(const std::string& path) {
    std::string error;
    const auto reader = PacketFileReader::open(path, error);
    EXPECT_TRUE(reader) << error;
    std::vector<int> bytes;
    CapturedPacket packet;
    while (reader && reader->next(packet) == PacketFileReader::Read::Packet) {
        bytes.push_back(packet.bytes.empty() ? -1 : packet.bytes[0]);
    }
    return bytes;
}

// Whatever order the numbers come in, each packet asked for is written
// once, in file order; 0 is passed over, and a number past the file's end
// means the file is not the one loaded: an error, not a shorter export.
TEST(PacketExport, WritesTheWantedPacketsOnceInFileOrder) {
    QTemporaryDir folder;
    const std::string source = folder.filePath("five.pcap").toStdString();
    {
        CaptureFileWriter writer(source);
        ASSERT_TRUE(writer.ok()) << writer.error();
        for (std::uint8_t first = 1; first <= 5; ++first) {
            const std::vector<std::uint8_t> packet(60, first);
            writer.write(packet, first * 1000);
        }
    }
    const struct {
        std::vector<std::uint32_t> wanted;
        std::vector<int> written;
    } cases[] = {
        {{1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}},
        {{4, 2}, {2, 4}},
        {{3, 3, 1, 3}, {1, 3}},
        {{0, 2}, {2}},
        {{0, 5, 9}, {}},
        {{7, 8}, {}},
    };
    int made = 0;
    for (const auto& c : cases) {
        const std::string destination =
            folder.filePath(QString("out%1.pcap").arg(made++)).toStdString();
        std::string error;
        const bool past = c.wanted.back() > 5;
        EXPECT_EQ(writePackets(source, c.wanted, destination, ExportFormat::Pcap, error), !past)
            << error;
        if (past) {
            EXPECT_NE(error.find("the file ends at packet 5"), std::string::npos) << error;
        } else {
            EXPECT_EQ(firstBytesOf(destination), c.written) << made;
        }
    }
    // pcapng says its times are nanoseconds, as it writes them: read back,
    // each packet keeps its time.
    const std::string pcapng = folder.filePath("all.pcapng").toStdString();
    std::string error;
    ASSERT_TRUE(writePackets(source, {1, 2, 3, 4, 5}, pcapng, ExportFormat::Pcapng, error))
        << error;
    std::vector<std::int64_t> times;
    for (const std::string& path : {source, pcapng}) {
        const auto reader = PacketFileReader::open(path, error);
        ASSERT_TRUE(reader) << error;
        CapturedPacket packet;
        while (reader->next(packet) == PacketFileReader::Read::Packet) {
            times.push_back(packet.seconds * 1'000'000'000 + packet.nanoseconds);
        }
    }
    ASSERT_EQ(times.size(), 10u);
    EXPECT_EQ(std::vector(times.begin() + 5, times.end()),
              std::vector(times.begin(), times.begin() + 5));
}

} // namespace
