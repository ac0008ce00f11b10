#include "dissect/IaxDissector.h"
#include "dissect/KvIAXInformationElement.h"
#include "samples/IaxPacketBuilder.h"

#include "tests/support/Bytes.h"
#include "tests/support/RecordingLogSink.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

const iaxgen::Endpoint alice{{10, 1, 2, 3}, 4569};
const iaxgen::Endpoint bob{{192, 168, 200, 254}, 4570};

std::uint32_t fivePastOne() {
    return 13 * 3600 + 5 * 60 + 9;
}

class FrameDecoding : public ::testing::Test {
protected:
    std::shared_ptr<KvIAXFrame> decode(const ByteVector& packet) {
        return dissector.decodePacket(packet);
    }
    std::shared_ptr<KvIAXFrame> decodePayload(const ByteVector& payload) {
        return decode(iaxgen::udpPacket(alice, bob, payload));
    }
    static std::string text(const KvIAXFrame& frame, PropertyKey key) {
        return frame.properties().text(key);
    }
    static std::vector<std::string> row(const KvIAXFrame& frame) {
        std::vector<std::string> values;
        for (PropertyKey key : {PropertyKey::isretry, PropertyKey::type, PropertyKey::subclass,
                                PropertyKey::timestamp, PropertyKey::scall, PropertyKey::dcall}) {
            values.push_back(text(frame, key));
        }
        return values;
    }
    std::string subclassOf(std::uint8_t type, std::uint8_t subclass) {
        return text(*decodePayload(iaxgen::fullFrame({.frameType = type, .subclass = subclass})),
                    PropertyKey::subclass);
    }

    RecordingLogSink log;
    std::ostringstream dump;
    IaxDissector dissector{dump, &fivePastOne};
};

using Row = std::vector<std::string>;

} // namespace

TEST_F(FrameDecoding, FullIaxControlFrameHeader) {
    const auto frame = decodePayload(
        bytesOf({0x80, 0x05, 0x80, 0x07, 0x00, 0x00, 0x01, 0xF4, 0x00, 0x00, 0x06, 0x01}));
    EXPECT_EQ(row(*frame), (Row{"Yes", "IAX Control", "NEW", "00500", "00005", "00007"}));
    EXPECT_EQ(text(*frame, PropertyKey::source), "10.1.2.3");
    EXPECT_EQ(text(*frame, PropertyKey::destination), "192.168.200.254");
    EXPECT_EQ(text(*frame, PropertyKey::time), "01:05:09");
    // No elements: the key is present with an empty list.
    ASSERT_TRUE(frame->properties().contains(PropertyKey::informationElements));
    EXPECT_TRUE(frame->iaxInformationElements().empty());

    std::vector<std::string_view> keys;
    for (const auto& entry : frame->properties()) {
        keys.push_back(entry.key().name());
    }
    EXPECT_EQ(keys, (std::vector<std::string_view>{"source", "destination", "isretry", "type",
                                                   "subclass", "timestamp", "scall", "dcall",
                                                   "time", "captured", "sourcePort",
                                                   "destinationPort", "informationElements"}));
}

TEST_F(FrameDecoding, TimestampsAndCallNumbersAtTheirEdges) {
    const auto frame = decodePayload(iaxgen::fullFrame({.sourceCall = 0x7FFF,
                                                        .destinationCall = 0x7FFF,
                                                        .retransmission = false,
                                                        .timestamp = 0xFFFFFFFF,
                                                        .frameType = 4,
                                                        .subclass = 4}));
    EXPECT_EQ(row(*frame), (Row{"No", "Control", "Answer", "4294967295", "32767", "32767"}));
    EXPECT_EQ(
        text(*decodePayload(iaxgen::fullFrame({.timestamp = 123456})), PropertyKey::timestamp),
        "123456");
}

TEST_F(FrameDecoding, IaxSubclassIgnoresBit7AndControlSubclassUsesAllBits) {
    EXPECT_EQ(subclassOf(6, 0x81), "NEW");
    EXPECT_EQ(subclassOf(6, 3), "Reserved");
    EXPECT_EQ(subclassOf(6, 31), "PAGE");
    EXPECT_EQ(subclassOf(6, 34), "TRANSFER");
    // Empty slots and numbers past the table show the number looked up.
    EXPECT_EQ(subclassOf(6, 35), "35");
    EXPECT_EQ(subclassOf(6, 0xA3), "35");
    EXPECT_EQ(subclassOf(6, 0xFF), "127");

    EXPECT_EQ(subclassOf(4, 0), "ZERO");
    EXPECT_EQ(subclassOf(4, 12), "Call Progress");
    EXPECT_EQ(subclassOf(4, 13), "13");
    EXPECT_EQ(subclassOf(4, 0x84), "132");
}

TEST_F(FrameDecoding, VoiceCodecsByMaskAndByBitNumber) {
    const std::vector<std::pair<int, std::string>> expected = {
        {0x01, "G.723.1"},    {0x02, "GSM Full Rate"}, {0x04, "G.711 uLaw"}, {0x08, "G.711 aLaw"},
        {0x10, "G.726"},      {0x20, "IMA ADPCM"},     {0x40, "16Bit"},      {0x80, "G.723.1"},
        {0x84, "G.726"},      {0x87, "LPC10"},         {0x8A, "iLBC"},       {0x00, "Unkn codec"},
        {0x03, "Unkn codec"}, {0x7F, "Unkn codec"},    {0x8B, "Unkn codec"}, {0xFF, "Unkn codec"}};
    for (const auto& [subclass, name] : expected) {
        EXPECT_EQ(subclassOf(2, static_cast<std::uint8_t>(subclass)), name) << subclass;
    }
    // Every voice frame logs its codec value; only the unnamed ones log the complaint.
    log.clear();
    (void)subclassOf(2, 0x03);
    (void)subclassOf(2, 0x8A);
    EXPECT_EQ(log.linesWithout({"In KvIaxFrame init"}),
              (std::vector<std::string>{"Codec value: 3", "Unexpected codec value: 3",
                                        "Codec value: 138"}));
    const auto voice = decodePayload(iaxgen::fullFrame({.frameType = 2, .subclass = 4}));
    EXPECT_FALSE(voice->properties().contains(PropertyKey::informationElements));
}

TEST_F(FrameDecoding, UndecodedFrameTypesHideTheirHeader) {
    for (std::uint8_t type : {0, 1, 3, 5, 9, 10, 200}) {
        const auto frame = decodePayload(iaxgen::fullFrame({.sourceCall = 9,
                                                            .destinationCall = 8,
                                                            .retransmission = true,
                                                            .timestamp = 777,
                                                            .frameType = type,
                                                            .subclass = 4}));
        EXPECT_EQ(row(*frame),
                  (Row{"?", std::to_string(type), "Unknown", "00000", "00000", "00000"}));
        EXPECT_FALSE(frame->properties().contains(PropertyKey::informationElements));
    }
}

TEST_F(FrameDecoding, MiniFrames) {
    auto frame = decodePayload(bytesOf({0x00, 0x05, 0x12, 0x34}));
    EXPECT_EQ(row(*frame), (Row{"N/A", "Mini Frame", "N/A", "04660", "00005", "N/A"}));
    EXPECT_EQ(text(*frame, PropertyKey::time), "01:05:09");
    EXPECT_FALSE(frame->properties().contains(PropertyKey::informationElements));

    frame = decodePayload(bytesOf({0x00, 0x01, 0xFF, 0xFF, 0xAA}));
    EXPECT_EQ(row(*frame), (Row{"N/A", "Mini Frame", "N/A", "65535", "00001", "N/A"}));
    frame = decodePayload(bytesOf({0x7F, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(text(*frame, PropertyKey::scall), "32767");
}

TEST_F(FrameDecoding, IPv4OptionsAreSkipped) {
    // An IPv4 header with options moves UDP, and the decoder follows it.
    ByteVector packet = iaxgen::udpPacket(alice, bob, bytesOf({0x00, 0x05, 0x12, 0x34}));
    packet[14] = 0x46;
    packet.insert(packet.begin() + 34, {0x01, 0x01, 0x01, 0x01});
    const auto frame = decode(packet);
    EXPECT_EQ(text(*frame, PropertyKey::source), "10.1.2.3");
    EXPECT_EQ(row(*frame), (Row{"N/A", "Mini Frame", "N/A", "04660", "00005", "N/A"}));
}

TEST_F(FrameDecoding, PacketsShorterThanTheirHeadersStillYieldARecord) {
    const ByteVector full = iaxgen::udpPacket(alice, bob, iaxgen::fullFrame({.frameType = 6}));
    const ByteVector mini = iaxgen::udpPacket(alice, bob, bytesOf({0x00, 0x05, 0x12, 0x34}));
    struct Case {
        ByteVector packet;
        std::string source, destination;
    };
    const std::vector<Case> cases = {
        {{}, "Truncated", "Truncated"},
        {ByteVector(full.begin(), full.begin() + 29), "Truncated", "Truncated"},
        {ByteVector(full.begin(), full.begin() + 30), "10.1.2.3", "Truncated"},
        {ByteVector(full.begin(), full.begin() + 33), "10.1.2.3", "Truncated"},
        {ByteVector(full.begin(), full.begin() + 42), "10.1.2.3", "192.168.200.254"},
        {ByteVector(full.begin(), full.begin() + 53), "10.1.2.3", "192.168.200.254"},
        {ByteVector(mini.begin(), mini.begin() + 45), "10.1.2.3", "192.168.200.254"},
    };
    for (const Case& c : cases) {
        const auto frame = decode(c.packet);
        SCOPED_TRACE(c.packet.size());
        EXPECT_EQ(text(*frame, PropertyKey::source), c.source);
        EXPECT_EQ(text(*frame, PropertyKey::destination), c.destination);
        EXPECT_EQ(row(*frame), (Row{"N/A", "Truncated", "N/A", "N/A", "N/A", "N/A"}));
        EXPECT_EQ(text(*frame, PropertyKey::time), "01:05:09");
        EXPECT_FALSE(frame->properties().contains(PropertyKey::informationElements));
    }
    // Exactly the header is enough.
    EXPECT_EQ(text(*decode(ByteVector(full.begin(), full.begin() + 54)), PropertyKey::type),
              "IAX Control");
    EXPECT_EQ(text(*decode(ByteVector(mini.begin(), mini.begin() + 46)), PropertyKey::type),
              "Mini Frame");
}

TEST_F(FrameDecoding, ElementAreaEndsWhereTheUdpLengthSaysUnlessTheCaptureEndsFirst) {
    const iaxgen::Bytes body = iaxgen::Elements().text(6, "alice").u16(11, 2).bytes();
    ByteVector packet = iaxgen::udpPacket(alice, bob, iaxgen::fullFrame({.frameType = 6}, body));
    // Ethernet padding after the datagram is not read as elements.
    ByteVector padded = packet + bytesOf({0x0B, 0x02, 0x00, 0x09});
    auto frame = decode(padded);
    ASSERT_EQ(frame->iaxInformationElements().size(), 2u);

    // A UDP length that claims the header alone: no elements, even with bytes after it.
    packet[38] = 0;
    packet[39] = 20;
    EXPECT_TRUE(decode(packet)->iaxInformationElements().empty());
    // A UDP length shorter than its own header: still no elements, and no wrap-around.
    packet[39] = 3;
    EXPECT_TRUE(decode(packet)->iaxInformationElements().empty());

    // A UDP length that claims more than was captured: the capture was cut short.
    packet[38] = 0x01;
    packet[39] = 0x00;
    frame = decode(packet);
    ASSERT_EQ(frame->iaxInformationElements().size(), 3u);
    const auto& last = *frame->iaxInformationElements()[2];
    EXPECT_EQ(last.properties().text(PropertyKey::parameter), "Information elements");
    EXPECT_EQ(last.properties().text(PropertyKey::value), "(truncated)");
}

TEST_F(FrameDecoding, ElementListIsSharedBetweenMapAndRecord) {
    const auto frame = decodePayload(iaxgen::fullFrame({.frameType = 6, .subclass = 1},
                                                       iaxgen::Elements().text(1, "100").bytes()));
    const PropertyValue* inMap = frame->properties().find(PropertyKey::informationElements);
    ASSERT_NE(inMap, nullptr);
    ASSERT_EQ(inMap->elements().size(), 1u);
    EXPECT_EQ(inMap->elements()[0], frame->iaxInformationElements()[0]);
}

// A payload that starts with 16 zero bits is a meta frame (RFC 5456 8.1.3),
// never a mini frame of call 0.
TEST_F(FrameDecoding, MetaFramesVideoAndTrunk) {
    struct Case {
        const char* name;
        ByteVector payload;
        Row row;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        {"video mini frame, marker set",
         bytesOf({0x00, 0x00, 0x80, 0x11, 0x81, 0x23, 'v'}),
         {"N/A", "Video Mini Frame", "N/A", "00291", "00017", "N/A"},
         {"Marker=1"}},
        {"video mini frame cut short",
         bytesOf({0x00, 0x00, 0x80, 0x11, 0x01}),
         {"N/A", "Truncated", "N/A", "N/A", "N/A", "N/A"},
         {}},
        {"trunk with timestamps",
         bytesOf({0x00, 0x00, 0x01, 0x01, 0,   0, 0x03, 0xE8, 0,    4,    0x00, 0x05, 0x01,
                  0x02, 'a',  'b',  'c',  'd', 0, 2,    0x80, 0x07, 0x02, 0x03, 'x',  'y'}),
         {"N/A", "Trunk Frame", "N/A", "01000", "N/A", "N/A"},
         {"Trunk Entry=call 5, timestamp 258, length 4",
          "Trunk Entry=call 7, timestamp 515, length 2"}},
        {"trunk without timestamps",
         bytesOf({0x00, 0x00, 0x01, 0x00, 0, 0, 0x07, 0xD0, 0x00, 0x06, 0, 3, '1', '2', '3'}),
         {"N/A", "Trunk Frame", "N/A", "02000", "N/A", "N/A"},
         {"Trunk Entry=call 6, length 3"}},
        {"an entry longer than the datagram",
         bytesOf({0x00, 0x00, 0x01, 0x00, 0, 0, 0, 1, 0x00, 0x06, 0, 9, '1'}),
         {"N/A", "Trunk Frame", "N/A", "00001", "N/A", "N/A"},
         {"Trunk Entry=(malformed)"}},
        {"another meta command",
         bytesOf({0x00, 0x00, 0x00, 0x01}),
         {"N/A", "Meta Frame", "N/A", "N/A", "N/A", "N/A"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto frame = decodePayload(c.payload);
        EXPECT_EQ(row(*frame), c.row);
        std::vector<std::string> entries;
        for (const auto& element : frame->iaxInformationElements()) {
            entries.push_back(element->properties().text(PropertyKey::parameter) + "=" +
                              element->properties().text(PropertyKey::value));
        }
        EXPECT_EQ(entries, c.entries);
    }
    // An entry the capture cut short: the datagram says there is more.
    ByteVector packet = iaxgen::udpPacket(
        alice, bob, bytesOf({0x00, 0x00, 0x01, 0x00, 0, 0, 0, 1, 0x00, 0x06, 0, 3, '1', '2', '3'}));
    packet.pop_back();
    const auto cut = decode(packet);
    ASSERT_EQ(cut->trunkEntries().size(), 1u);
    EXPECT_EQ(cut->iaxInformationElements()[0]->properties().text(PropertyKey::value),
              "(truncated)");
    EXPECT_EQ(cut->trunkEntries()[0].sourceCall, 6);
    EXPECT_EQ(cut->trunkEntries()[0].dataOffset, 42 + 12);
}
