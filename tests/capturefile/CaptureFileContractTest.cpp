// One contract for every kind of capture file the reader takes: the packets
// come out in order with their bytes, lengths, times and link type, and each
// one is found again at the file offset the reader gave it.
#include "capturefile/PacketFileAccess.h"
#include "capturefile/PacketFileReader.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Packet {
    std::vector<std::uint8_t> bytes;
    std::uint32_t wireLength;
    std::int64_t seconds;
    std::uint32_t nanoseconds;
};

// Odd lengths need padding in pcapng; the second is longer than a pcap
// file's snapshot length; the last second is past 2038, which a signed
// 32-bit field would read as 1901.
std::vector<Packet> samplePackets(bool nanoseconds) {
    std::vector<Packet> packets;
    const std::uint32_t lengths[] = {60, 1514, 1, 61};
    const std::int64_t seconds[] = {1'700'000'000, 1'700'000'001, 1'700'000'001, 0x80000001};
    for (int i = 0; i < 4; ++i) {
        Packet packet;
        for (std::uint32_t b = 0; b < lengths[i]; ++b) {
            packet.bytes.push_back(static_cast<std::uint8_t>(b * 7 + i));
        }
        packet.wireLength = lengths[i] + (i == 1 ? 100 : 0); // cut by the capture
        packet.seconds = seconds[i];
        packet.nanoseconds = nanoseconds ? 123'456'789u + static_cast<std::uint32_t>(i)
                                         : 123'456'000u + static_cast<std::uint32_t>(i) * 1000;
        packets.push_back(packet);
    }
    return packets;
}

// Bytes in a chosen byte order.
class Bytes {
public:
    explicit Bytes(bool littleEndian) : little_(littleEndian) {}
    Bytes& u16(std::uint32_t v) { return put(v, 2); }
    Bytes& u32(std::uint32_t v) { return put(v, 4); }
    Bytes& raw(const std::vector<std::uint8_t>& v) {
        out.insert(out.end(), v.begin(), v.end());
        return *this;
    }
    Bytes& pad() {
        out.resize((out.size() + 3) / 4 * 4, 0);
        return *this;
    }
    std::vector<std::uint8_t> out;

private:
    Bytes& put(std::uint32_t v, int size) {
        for (int i = 0; i < size; ++i) {
            const int shift = little_ ? 8 * i : 8 * (size - 1 - i);
            out.push_back(static_cast<std::uint8_t>(v >> shift));
        }
        return *this;
    }
    bool little_;
};

constexpr std::uint32_t pcapSnapshotLength = 1024;

std::vector<std::uint8_t> pcapFile(const std::vector<Packet>& packets, bool little, bool nano) {
    Bytes file(little);
    file.u32(nano ? 0xA1B23C4D : 0xA1B2C3D4).u16(2).u16(4).u32(0).u32(0);
    file.u32(pcapSnapshotLength).u32(1);
    for (const Packet& p : packets) {
        file.u32(static_cast<std::uint32_t>(p.seconds))
            .u32(nano ? p.nanoseconds : p.nanoseconds / 1000)
            .u32(static_cast<std::uint32_t>(p.bytes.size()))
            .u32(p.wireLength)
            .raw(p.bytes);
    }
    return file.out;
}

// A block: type, length, body, length again.
void block(Bytes& file, bool little, std::uint32_t type, const std::vector<std::uint8_t>& body) {
    file.u32(type)
        .u32(static_cast<std::uint32_t>(12 + body.size()))
        .raw(body)
        .u32(static_cast<std::uint32_t>(12 + body.size()));
    (void)little;
}

std::vector<std::uint8_t> comment(bool little, const std::string& text) {
    Bytes option(little);
    option.u16(1).u16(static_cast<std::uint32_t>(text.size()));
    option.raw({text.begin(), text.end()}).pad().u16(0).u16(0);
    return option.out;
}

// Two interfaces (microseconds, and nanoseconds by if_tsresol), comments on
// the section and a packet, a block no reader knows, and the packet kinds:
// enhanced, simple and the obsolete one.
std::vector<std::uint8_t> pcapngFile(const std::vector<Packet>& packets, bool little) {
    Bytes file(little);
    Bytes section(little);
    section.u32(0x1A2B3C4D).u16(1).u16(0).u32(0xFFFFFFFF).u32(0xFFFFFFFF);
    section.raw(comment(little, "made for the contract"));
    block(file, little, 0x0A0D0D0A, section.out);
    Bytes micro(little), nano(little);
    micro.u16(1).u16(0).u32(2048).u16(0).u16(0);
    nano.u16(1).u16(0).u32(2048).u16(9).u16(1).raw({9, 0, 0, 0}).u16(0).u16(0);
    block(file, little, 1, micro.out);
    block(file, little, 1, nano.out);
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const Packet& p = packets[i];
        const auto captured = static_cast<std::uint32_t>(p.bytes.size());
        if (i == 2) {
            block(file, little, 0x00000BAD, {0, 0, 0x7F, 0xFF, 'o', 'd', 'd', 0}); // custom
            // Simple: interface 0, no time (the reader gives 0), snapshot 2048.
            Bytes simple(little);
            simple.u32(p.wireLength).raw(p.bytes).pad();
            block(file, little, 3, simple.out);
            continue;
        }
        const std::uint32_t interface = i == 1 ? 0 : 1;
        const std::uint64_t units =
            static_cast<std::uint64_t>(p.seconds) * (interface == 1 ? 1'000'000'000 : 1'000'000) +
            (interface == 1 ? p.nanoseconds : p.nanoseconds / 1000);
        Bytes body(little);
        if (i == 3) {
            body.u16(interface).u16(0); // obsolete: interface and drops
        } else {
            body.u32(interface);
        }
        body.u32(static_cast<std::uint32_t>(units >> 32)).u32(static_cast<std::uint32_t>(units));
        body.u32(captured).u32(p.wireLength).raw(p.bytes).pad();
        if (i == 0) {
            body.raw(comment(little, "first"));
        }
        block(file, little, i == 3 ? 2 : 6, body.out);
    }
    return file.out;
}

struct Layout {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::vector<Packet> packets;
    TimeResolution resolution;
};

std::vector<Layout> layouts() {
    std::vector<Layout> all;
    for (const bool little : {true, false}) {
        for (const bool nano : {false, true}) {
            const auto packets = samplePackets(nano);
            // Read as libpcap reads it: cut to the file's snapshot length.
            auto cut = packets;
            cut[1].bytes.resize(pcapSnapshotLength);
            all.push_back({little ? (nano ? "pcap LE ns" : "pcap LE us")
                                  : (nano ? "pcap BE ns" : "pcap BE us"),
                           pcapFile(packets, little, nano), cut,
                           nano ? TimeResolution::Nanoseconds : TimeResolution::Microseconds});
        }
        auto packets = samplePackets(true);
        packets[1].nanoseconds = packets[1].nanoseconds / 1000 * 1000; // a microsecond interface
        packets[2].seconds = 0;                                        // a simple block has no time
        packets[2].nanoseconds = 0;
        all.push_back({little ? "pcapng LE" : "pcapng BE", pcapngFile(packets, little), packets,
                       TimeResolution::Microseconds});
    }
    return all;
}

std::string written(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    const std::string path =
        ::testing::TempDir() + "contract-" + std::to_string(::getpid()) + "-" + name + ".cap";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

TEST(CaptureFileContract, EveryPacketComesOutWholeAndIsFoundAgainAtItsOffset) {
    for (const Layout& layout : layouts()) {
        SCOPED_TRACE(layout.name);
        const std::string path = written(layout.bytes, layout.name);
        std::string error;
        const auto reader = PacketFileReader::open(path, error);
        const auto access = PacketFileAccess::open(path, error);
        ASSERT_TRUE(reader && access) << error;
        EXPECT_EQ(reader->linkType(), 1);
        CapturedPacket packet;
        std::vector<std::uint64_t> offsets;
        for (std::size_t i = 0; i < layout.packets.size(); ++i) {
            SCOPED_TRACE(i);
            ASSERT_EQ(reader->next(packet), PacketFileReader::Read::Packet) << reader->errorText();
            const Packet& want = layout.packets[i];
            EXPECT_EQ(std::vector<std::uint8_t>(packet.bytes.begin(), packet.bytes.end()),
                      want.bytes);
            EXPECT_EQ(packet.wireLength, want.wireLength);
            EXPECT_EQ(packet.seconds, want.seconds);
            EXPECT_EQ(packet.nanoseconds, want.nanoseconds);
            EXPECT_EQ(packet.resolution, layout.resolution);
            EXPECT_EQ(packet.linkType, 1);
            EXPECT_EQ(packet.index, i);
            ASSERT_NE(packet.fileOffset, FrameFacts::unknownFileOffset);
            offsets.push_back(packet.fileOffset);
        }
        EXPECT_EQ(reader->next(packet), PacketFileReader::Read::End);
        // Read back out of order, as a call's payloads are.
        for (std::size_t i = layout.packets.size(); i-- > 0;) {
            SCOPED_TRACE(i);
            const auto record = access->recordAt(offsets[i]);
            ASSERT_TRUE(record);
            const auto& want = layout.packets[i].bytes;
            ASSERT_EQ(record->capturedLength, want.size());
            std::vector<std::uint8_t> bytes(want.size());
            ASSERT_TRUE(access->read(*record, 0, bytes));
            EXPECT_EQ(bytes, want);
            std::vector<std::uint8_t> beyond(2);
            EXPECT_FALSE(access->read(*record, want.size() - 1, beyond));
        }
        // No packet starts at the file's header or its section.
        EXPECT_FALSE(access->recordAt(0) && layout.name[4] == 'n');
        EXPECT_FALSE(access->recordAt(layout.bytes.size()));
        std::remove(path.c_str());
    }
}

TEST(CaptureFileContract, DamageIsAnErrorAfterTheWholePackets) {
    const std::vector<std::uint8_t> notCapture(64, 'x');
    const auto goodPcap = pcapFile(samplePackets(false), true, false);
    const auto goodPcapng = pcapngFile(samplePackets(true), true);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool opens;
        int wholePackets;
    } cases[] = {
        {"not a capture", notCapture, false, 0},
        {"empty", {}, false, 0},
        {"pcap cut in its last packet", {goodPcap.begin(), goodPcap.end() - 10}, true, 3},
        {"pcapng cut in its last block", {goodPcapng.begin(), goodPcapng.end() - 10}, true, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = written(c.bytes, "damaged");
        std::string error;
        const auto reader = PacketFileReader::open(path, error);
        const auto access = PacketFileAccess::open(path, error);
        ASSERT_EQ(reader != nullptr, c.opens) << error;
        ASSERT_EQ(access != nullptr, c.opens);
        if (!c.opens) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        CapturedPacket packet;
        int whole = 0;
        auto read = reader->next(packet);
        for (; read == PacketFileReader::Read::Packet; read = reader->next(packet)) {
            ++whole;
        }
        EXPECT_EQ(whole, c.wholePackets);
        EXPECT_EQ(read, PacketFileReader::Read::Failed);
        EXPECT_FALSE(reader->errorText().empty());
        std::remove(path.c_str());
    }
    std::string error;
    EXPECT_FALSE(PacketFileReader::open("/nonexistent/capture.pcap", error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(PacketFileAccess::open("/nonexistent/capture.pcap", error));
    EXPECT_NE(error.find("/nonexistent/capture.pcap"), std::string::npos) << error;
}

// Files of several megabytes are read a block at a time: records that
// straddle two blocks come out whole, at their offsets, in either byte
// order, and a file cut in a record's header or in its bytes says which.
TEST(CaptureFileContract, RecordsAcrossReadBlocksComeOutWhole) {
    std::vector<Packet> packets;
    for (std::uint32_t i = 0; i < 6000; ++i) {
        const std::uint32_t length = (i * 397) % pcapSnapshotLength + 1;
        Packet packet{std::vector<std::uint8_t>(length, static_cast<std::uint8_t>(i)), length,
                      1'700'000'000 + i, i * 1000};
        packet.bytes.front() = static_cast<std::uint8_t>(i >> 8);
        packets.push_back(std::move(packet));
    }
    for (const bool little : {true, false}) {
        SCOPED_TRACE(little ? "little-endian" : "big-endian");
        const auto whole = pcapFile(packets, little, false);
        const struct {
            std::size_t cutAt; // bytes kept
            std::size_t packets;
            const char* says;
        } cuts[] = {
            {whole.size(), packets.size(), nullptr},
            {whole.size() - packets.back().bytes.size() - 5, packets.size() - 1, "header"},
            {whole.size() - 1, packets.size() - 1, "captured bytes"},
        };
        for (const auto& cut : cuts) {
            const std::string path = written(
                {whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut.cutAt)}, "blocks");
            std::string error;
            const auto reader = PacketFileReader::open(path, error);
            const auto access = PacketFileAccess::open(path, error);
            ASSERT_TRUE(reader && access) << error;
            CapturedPacket packet;
            std::size_t read = 0;
            std::vector<std::uint64_t> offsets;
            auto result = reader->next(packet);
            for (; result == PacketFileReader::Read::Packet;
                 result = reader->next(packet), ++read) {
                ASSERT_LT(read, packets.size());
                const Packet& want = packets[read];
                ASSERT_EQ(std::vector<std::uint8_t>(packet.bytes.begin(), packet.bytes.end()),
                          want.bytes)
                    << read;
                ASSERT_EQ(packet.seconds, want.seconds);
                ASSERT_EQ(packet.index, read);
                offsets.push_back(packet.fileOffset);
            }
            EXPECT_EQ(read, cut.packets);
            // Read back in a row, then thinly (its window shrinks), then in a
            // row again (it grows): the same bytes each way.
            for (const std::size_t stride : {1, 97, 1}) {
                for (std::size_t i = 0; i < offsets.size(); i += stride) {
                    const auto record = access->recordAt(offsets[i]);
                    ASSERT_TRUE(record && record->capturedLength == packets[i].bytes.size()) << i;
                    std::vector<std::uint8_t> bytes(record->capturedLength);
                    ASSERT_TRUE(access->read(*record, 0, bytes)) << i;
                    ASSERT_EQ(bytes, packets[i].bytes) << i;
                }
            }
            if (cut.says == nullptr) {
                EXPECT_EQ(result, PacketFileReader::Read::End);
            } else {
                EXPECT_EQ(result, PacketFileReader::Read::Failed);
                EXPECT_NE(reader->errorText().find(cut.says), std::string::npos)
                    << reader->errorText();
            }
            std::remove(path.c_str());
        }
    }
}

// A classic pcap file is read past libpcap; what comes out is what libpcap
// gives for the same bytes (read here as a stream, which libpcap reads):
// random files in both byte orders and both precisions, with records cut
// to the snapshot length, fractions past a second, a file cut anywhere and
// a record longer than any capture.
TEST(CaptureFileContract, ClassicRecordsReadAsLibpcapReadsThem) {
    std::uint32_t state = 12345;
    const auto random = [&state](std::uint32_t below) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % below;
    };
    for (int file = 0; file < 24; ++file) {
        std::vector<Packet> packets(1 + random(400));
        for (Packet& packet : packets) {
            packet.bytes.resize(random(1600));
            for (auto& byte : packet.bytes) {
                byte = static_cast<std::uint8_t>(random(256));
            }
            packet.wireLength = static_cast<std::uint32_t>(packet.bytes.size()) + random(3);
            packet.seconds = random(0x7FFFFFFF) * 2 + random(2);
            packet.nanoseconds = random(1'100'000) * 1000;
        }
        const bool little = file % 2 == 0, nano = file % 4 >= 2;
        auto bytes = pcapFile(packets, little, nano);
        if (file % 3 == 1) {
            bytes.resize(24 + random(static_cast<std::uint32_t>(bytes.size() - 24)));
        } else if (file % 3 == 2) { // the last record's captured length, past any capture
            const std::size_t at = bytes.size() - packets.back().bytes.size() - 8;
            bytes[at + (little ? 3 : 0)] = 0x7F;
        }
        SCOPED_TRACE(file);
        const std::string path = written(bytes, "random");
        std::string error;
        const auto direct = PacketFileReader::open(path, error);
        std::FILE* stream = std::fopen(path.c_str(), "rb");
        const auto library = PacketFileReader::openStream(stream, error);
        ASSERT_TRUE(direct && library) << error;
        CapturedPacket a, b;
        for (int read = 0;; ++read) {
            const auto fromDirect = direct->next(a);
            const auto fromLibrary = library->next(b);
            ASSERT_EQ(fromDirect, fromLibrary) << read << ": " << library->errorText();
            if (fromDirect != PacketFileReader::Read::Packet) {
                break;
            }
            ASSERT_EQ(std::vector<std::uint8_t>(a.bytes.begin(), a.bytes.end()),
                      std::vector<std::uint8_t>(b.bytes.begin(), b.bytes.end()))
                << read;
            ASSERT_EQ(std::tie(a.wireLength, a.seconds, a.nanoseconds, a.index, a.linkType),
                      std::tie(b.wireLength, b.seconds, b.nanoseconds, b.index, b.linkType))
                << read;
        }
        std::remove(path.c_str());
    }
}

} // namespace

// Inputs the fuzzer found, and what reading them must give.
TEST(CaptureFileContract, FuzzerFindingsReadAsExpected) {
    const struct {
        const char* file;
        int packets; // read whole, each found again at its offset
    } findings[] = {
        // Empty packets, read back as nothing (no copy to no buffer), then a
        // record longer than any snapshot: an error after the four.
        {"empty-packets-then-bad-length.pcap", 4},
    };
    for (const auto& finding : findings) {
        SCOPED_TRACE(finding.file);
        const std::string path =
            std::string(QUORVEX_TEST_DATA) + "/capturefile-regressions/" + finding.file;
        std::string error;
        const auto reader = PacketFileReader::open(path, error);
        const auto access = PacketFileAccess::open(path, error);
        ASSERT_TRUE(reader && access) << error;
        CapturedPacket packet;
        int packets = 0;
        auto read = reader->next(packet);
        for (; read == PacketFileReader::Read::Packet; read = reader->next(packet), ++packets) {
            const auto record = access->recordAt(packet.fileOffset);
            ASSERT_TRUE(record);
            std::vector<std::uint8_t> again(record->capturedLength);
            EXPECT_TRUE(access->read(*record, 0, again));
        }
        EXPECT_EQ(packets, finding.packets);
        EXPECT_EQ(read, PacketFileReader::Read::Failed);
    }
}
