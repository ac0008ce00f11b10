#include "media/HeldPackets.h"
#include "tests/support/ToneCapture.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

std::vector<std::uint8_t> packetOf(std::size_t size, std::uint8_t first) {
    std::vector<std::uint8_t> bytes(size);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

PayloadLocation at(std::uint32_t packet, std::uint16_t offset, std::uint16_t length) {
    PayloadLocation location;
    location.packetIndex = packet;
    location.offset = offset;
    location.length = length;
    return location;
}

} // namespace

// Payloads come back as the packets held them, across chunks and for a
// packet larger than a chunk; what was not kept is refused, never made up.
TEST(HeldPackets, GivesBackOnlyWhatWasKept) {
    media::HeldPackets held;
    const auto small = packetOf(220, 0);
    const auto large = packetOf(1'500'000, 7); // past a chunk's size
    for (std::uint32_t packet = 0; packet < 20'000; packet += 2) {
        held.keep(packet, 42, small);
    }
    held.keep(30'000, 14, large);
    held.keep(10, 0, packetOf(220, 99));          // out of order: passed over
    held.keep(30'001, 300, small);                // starts past its end: passed over
    held.keepPiece(30'002, 20, packetOf(10, 20)); // two calls' pieces of a trunk packet
    held.keepPiece(30'002, 40, packetOf(10, 40));
    held.keepPiece(30'002, 30, packetOf(10, 30)); // out of order: passed over

    struct Case {
        PayloadLocation location;
        bool found;
        std::uint8_t first;
    };
    const Case cases[] = {
        {at(0, 54, 160), true, 54},
        {at(10, 42, 178), true, 42},     // to the end of the packet
        {at(19'998, 54, 160), true, 54}, // the last small one, chunks later
        {at(30'000, 1'000, 60'000), true, 1'007 % 256},
        {at(1, 54, 160), false, 0},  // never kept
        {at(10, 40, 10), false, 0},  // starts before what was kept
        {at(10, 54, 167), false, 0}, // runs past the packet
        {at(30'001, 300, 1), false, 0},
        {at(30'002, 20, 10), true, 20},
        {at(30'002, 42, 8), true, 42},  // the second piece
        {at(30'002, 30, 10), false, 0}, // between them
        {at(30'002, 25, 20), false, 0}, // across both
        {at(40'000, 0, 1), false, 0},
    };
    std::vector<std::uint8_t> payload;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.location.packetIndex);
        ASSERT_EQ(held.payload(c.location, payload), c.found);
        if (c.found) {
            ASSERT_EQ(payload.size(), c.location.length);
            EXPECT_EQ(payload.front(), c.first);
            EXPECT_EQ(payload.back(), static_cast<std::uint8_t>(c.first + c.location.length - 1));
        } else {
            EXPECT_TRUE(payload.empty());
        }
    }
    EXPECT_GE(held.heldBytes(), 10'000u * 178 + large.size() - 14);
}

// Read from the file for every call at once (trunk packets carry several
// calls' payloads), the store gives each packet's payload as the file does.
TEST(HeldPackets, ReadFromTheFileGivesWhatTheFileHolds) {
    const ToneCapture tones(0.3);
    std::vector<quality::VoiceStream> streams;
    for (std::size_t call = 0; call < tones.tracker.calls().size(); ++call) {
        for (auto& stream : tones.streams(call)) {
            streams.push_back(std::move(stream));
        }
    }
    std::string error;
    auto packets = CapturePackets::open(tones.path, error);
    ASSERT_TRUE(packets) << error;
    media::HeldPackets held;
    ASSERT_TRUE(held.readAll(streams, *packets, error)) << error;
    std::size_t compared = 0;
    std::vector<std::uint8_t> fromFile, fromHeld;
    for (const auto& stream : streams) {
        const media::PayloadReader reader = held.readerOf(stream);
        for (std::size_t p = 0; p < stream.packets.size(); ++p) {
            if (stream.packets[p].payload.cutByCapture || stream.packets[p].payload.length == 0) {
                continue;
            }
            ASSERT_TRUE(packets->readPayload(stream.packets[p].payload, fromFile, error));
            ASSERT_TRUE(reader(p, fromHeld, error)) << error;
            EXPECT_EQ(fromHeld, fromFile);
            ++compared;
        }
    }
    EXPECT_GT(compared, 100u);
}
