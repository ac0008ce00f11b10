#include "dissect/IaxDissector.h"
#include "samples/IaxPacketBuilder.h"

#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

const iaxgen::Endpoint alice{{10, 1, 2, 3}, 4569};
const iaxgen::Endpoint bob{{192, 168, 200, 254}, 4570};

// The numbers a record keeps, whatever its display texts say.
struct FactsCase {
    const char* name;
    ByteVector payload;
    FrameKind kind;
    std::uint16_t sourceCall, destinationCall;
    std::uint32_t timestamp;
    std::uint8_t oseq, iseq, type, subclass;
    bool retransmission;
    std::uint32_t codecMask;
};

} // namespace

TEST(FrameFacts, FullMiniAndTruncatedFramesKeepTheirNumbers) {
    const FactsCase cases[] = {
        {"voice full frame, codec as a mask",
         iaxgen::fullFrame({.sourceCall = 0x7FFF,
                            .destinationCall = 5,
                            .retransmission = true,
                            .timestamp = 0xFFFFFFFF,
                            .outSequence = 7,
                            .inSequence = 9,
                            .frameType = 2,
                            .subclass = 0x04}),
         FrameKind::Full, 0x7FFF, 5, 0xFFFFFFFF, 7, 9, 2, 0x04, true, 4},
        {"voice full frame, codec as a bit number",
         iaxgen::fullFrame({.frameType = 2, .subclass = 0x8A}), FrameKind::Full, 1, 0, 0, 0, 0, 2,
         0x8A, false, 1024},
        // Undecoded types show 00000, but their facts keep what the header holds.
        {"DTMF full frame", iaxgen::fullFrame({.sourceCall = 3, .timestamp = 77, .frameType = 1}),
         FrameKind::Full, 3, 0, 77, 0, 0, 1, 0, false, 0},
        {"mini frame", iaxgen::miniFrame(0x1234, 0xBEEF), FrameKind::Mini, 0x1234, 0, 0xBEEF, 0, 0,
         0, 0, false, 0},
        // Cut within its header: its source call, and that it is a full frame.
        {"full header cut short", bytesOf({0x80, 0x01, 0x00}), FrameKind::Truncated, 1, 0, 0, 0, 0,
         FrameFacts::cutHeaderMark | 1, 0, false, 0},
        {"no payload", {}, FrameKind::Truncated, 0, 0, 0, 0, 0, 0, 0, false, 0},
    };
    std::ostringstream dump;
    const IaxDissector dissector(dump, [] { return std::uint32_t{3600}; });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ByteVector packet = iaxgen::udpPacket(alice, bob, c.payload);
        KvIAXFrame frame;
        dissector.decodeInto({.bytes = packet,
                              .wireLength = 1500,
                              .seconds = 1'700'000'000,
                              .nanoseconds = 123'456'789,
                              .index = 41,
                              .fileOffset = 4242},
                             frame);
        const FrameFacts& f = frame.facts();
        EXPECT_EQ(f.kind(), c.kind);
        EXPECT_EQ(f.sourceCall, c.sourceCall);
        EXPECT_EQ(f.destinationCall, c.destinationCall);
        EXPECT_EQ(f.iaxTimestamp, c.timestamp);
        EXPECT_EQ(f.outboundSequence, c.oseq);
        EXPECT_EQ(f.inboundSequence, c.iseq);
        EXPECT_EQ(f.frameType, c.type);
        EXPECT_EQ(f.subclass, c.subclass);
        EXPECT_EQ(f.retransmission != 0, c.retransmission);
        EXPECT_EQ(f.codecMask(), c.codecMask);
        // Packet facts, the same for every kind.
        EXPECT_EQ(f.sourceAddress, 0x0A010203u);
        EXPECT_EQ(f.destinationAddress, 0xC0A8C8FEu);
        EXPECT_EQ(f.sourcePort, 4569);
        EXPECT_EQ(f.destinationPort, 4570);
        EXPECT_EQ(f.udpLength, c.payload.size() + 8);
        EXPECT_EQ(f.payloadOffset, 42u);
        EXPECT_EQ(f.capturedLength, packet.size());
        EXPECT_EQ(f.wireLength, 1500u);
        EXPECT_EQ(f.captureSeconds, 1'700'000'000);
        EXPECT_EQ(f.captureNanoseconds, 123'456'789u);
        EXPECT_EQ(f.packetIndex, 41u);
        EXPECT_EQ(f.fileOffset, 4242u);
        EXPECT_EQ(f.linkType, CapturedPacket::ethernetLinkType);
        EXPECT_EQ(f.decodedSecondOfDay, 3600u);
    }
}

TEST(FrameFacts, ElementsKeepIdLengthAndPosition) {
    const auto body = iaxgen::Elements().text(6, "alice").u16(11, 2).bytes();
    const ByteVector packet =
        iaxgen::udpPacket(alice, bob, iaxgen::fullFrame({.frameType = 6, .subclass = 13}, body));
    std::ostringstream dump;
    const auto frame = IaxDissector(dump).decodePacket(packet);
    const auto elements = frame->elementArea().elements();
    ASSERT_EQ(elements.size(), 2u);
    EXPECT_EQ(elements[0].identifier, 6);
    EXPECT_EQ(elements[0].length, 5);
    EXPECT_EQ(elements[0].offset, 0);
    EXPECT_EQ(elements[1].identifier, 11);
    EXPECT_EQ(elements[1].length, 2);
    EXPECT_EQ(elements[1].offset, 7);
    // A record that was never shown keeps no display texts, yet shows them.
    EXPECT_EQ(frame->text(PropertyKey::subclass), "REGREQ");
    EXPECT_EQ(frame->iaxInformationElements()[0]->properties().text(PropertyKey::value), "alice");
}
