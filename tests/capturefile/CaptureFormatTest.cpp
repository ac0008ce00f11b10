// What the writer writes, the format sniffer names and the reader reads
// back as it was written, in every format Quorvex writes.
#include "capturefile/CaptureFileWriter.h"
#include "capturefile/CaptureFormat.h"
#include "capturefile/PacketFileReader.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

namespace {

TEST(CaptureFormat, HeadsAreToldApartInBothByteOrders) {
    const struct {
        std::vector<std::uint8_t> head;
        FileFormat expected;
    } cases[] = {
        {{0xD4, 0xC3, 0xB2, 0xA1, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0},
         {CaptureFormat::Pcap, false, 65535}},
        {{0xA1, 0xB2, 0xC3, 0xD4, 0, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0},
         {CaptureFormat::Pcap, true, 1024}},
        {{0x4D, 0x3C, 0xB2, 0xA1, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0},
         {CaptureFormat::PcapNanoseconds, false, 262144}},
        {{0x0A, 0x0D, 0x0D, 0x0A, 28, 0, 0, 0, 0x4D, 0x3C, 0x2B, 0x1A},
         {CaptureFormat::Pcapng, false, 0}},
        {{0x0A, 0x0D, 0x0D, 0x0A, 0, 0, 0, 28, 0x1A, 0x2B, 0x3C, 0x4D},
         {CaptureFormat::Pcapng, true, 0}},
        // Magics that are not a capture format's, a pcapng head with no
        // byte-order magic, and a head too short to tell.
        {{0xA1, 0xB2, 0xC3, 0x4D, 0, 2, 0, 4, 0, 0, 0, 0}, {}},
        {{0x0A, 0x0D, 0x0D, 0x0A, 28, 0, 0, 0, 1, 2, 3, 4}, {}},
        {{0xD4, 0xC3, 0xB2}, {}},
        {{'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n', 'e', 'x'}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatOfHead(c.head), c.expected) << formatText(c.expected.format);
    }
}

TEST(CaptureFormat, WhatIsWrittenIsNamedAndReadBackAsWritten) {
    char folder[] = "/tmp/quorvex-formatXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::vector<std::uint8_t> bytes(100, 0x5A);
    for (const CaptureFormat format :
         {CaptureFormat::Pcap, CaptureFormat::PcapNanoseconds, CaptureFormat::Pcapng}) {
        const std::string path = std::string(folder) + "/out" + formatText(format);
        {
            CaptureFileWriter writer(path, {format, linktype::rawIp, maxSnapshotLength});
            ASSERT_TRUE(writer.ok()) << writer.error();
            CapturedPacket packet;
            packet.bytes = std::span(bytes).first(60); // cut by the capture
            packet.wireLength = 100;
            packet.seconds = 1'700'000'000;
            packet.nanoseconds = 123'456'789;
            EXPECT_TRUE(writer.write(packet, "a comment"));
            EXPECT_TRUE(writer.close()) << writer.error();
        }
        EXPECT_EQ(captureFormat(path).format, format);
        std::string error;
        const auto reader = PacketFileReader::open(path, error);
        ASSERT_TRUE(reader) << error;
        EXPECT_EQ(reader->linkType(), linktype::rawIp);
        CapturedPacket read;
        ASSERT_EQ(reader->next(read), PacketFileReader::Read::Packet) << formatText(format);
        EXPECT_EQ(read.bytes.size(), 60u);
        EXPECT_EQ(read.wireLength, 100u);
        EXPECT_EQ(read.seconds, 1'700'000'000);
        // Microseconds keep what they can.
        EXPECT_EQ(read.nanoseconds, format == CaptureFormat::Pcap ? 123'456'000u : 123'456'789u);
        EXPECT_EQ(reader->next(read), PacketFileReader::Read::End);
        unlink(path.c_str());
    }
    // Nothing that cannot be read twice is looked into.
    EXPECT_EQ(captureFormat(folder).format, CaptureFormat::Unknown);
    EXPECT_EQ(captureFormat("-").format, CaptureFormat::Unknown);
    rmdir(folder);
}

} // namespace
