#include "dissect/FrameDisplay.h"
#include "dissect/IaxDissector.h"
#include "samples/LinkVariants.h"
#include "samples/Scenarios.h"

#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sstream>

namespace {

std::uint32_t noon() {
    return 12 * 3600;
}

std::vector<std::string> texts(const KvIAXFrame& frame) {
    std::vector<std::string> values;
    frame.forEachProperty([&values](PropertyKey key, const PropertyValue& value) {
        std::string text(key.name());
        text += '=';
        value.appendText(text);
        for (const auto& element : value.elements()) {
            text += " " + element->properties().text(PropertyKey::parameter) + ":" +
                    element->properties().text(PropertyKey::value);
        }
        values.push_back(text);
    });
    return values;
}

const iaxgen::Endpoint alice{{10, 1, 2, 3}, 4569};
const iaxgen::Endpoint bob{{192, 168, 200, 254}, 4570};

class LinkLayers : public ::testing::Test {
protected:
    std::shared_ptr<KvIAXFrame> decode(const ByteVector& bytes, std::uint16_t linkType = 1) {
        auto frame = std::make_shared<KvIAXFrame>();
        dissector.decodeInto({.bytes = bytes, .linkType = linkType}, *frame);
        return frame;
    }
    std::ostringstream dump;
    IaxDissector dissector{dump, &noon};
};

} // namespace

// The same datagrams in every link and network layer give the records of the
// Ethernet/IPv4 original; IPv6 ones show their IPv6 addresses.
TEST_F(LinkLayers, EveryVariantGivesTheRecordsOfTheEthernetOriginal) {
    std::vector<iaxgen::Bytes> originals;
    scenarios::sampleCall([&](const iaxgen::Bytes& p, std::int64_t) { originals.push_back(p); });
    for (const auto& info : iaxgen::variants()) {
        SCOPED_TRACE(std::string(info.name));
        const bool ipv6 = info.variant == iaxgen::Variant::Ipv6Ethernet ||
                          info.variant == iaxgen::Variant::Ipv6Cooked;
        for (const auto& original : originals) {
            const auto expected = decode(original);
            const auto frame = decode(iaxgen::reframe(info.variant, original),
                                      static_cast<std::uint16_t>(info.linkType));
            auto want = texts(*expected);
            if (ipv6) {
                const iaxgen::Endpoint from{
                    {original[26], original[27], original[28], original[29]}, 0};
                const iaxgen::Endpoint to{{original[30], original[31], original[32], original[33]},
                                          0};
                want[0] = "source=" + framedisplay::ipv6Text(iaxgen::ipv6Of(from));
                want[1] = "destination=" + framedisplay::ipv6Text(iaxgen::ipv6Of(to));
            }
            ASSERT_EQ(texts(*frame), want);
            EXPECT_EQ(frame->facts().sourcePort, expected->facts().sourcePort);
            EXPECT_EQ(frame->facts().destinationPort, expected->facts().destinationPort);
        }
    }
    EXPECT_EQ(framedisplay::ipv6Text(iaxgen::ipv6Of({{127, 0, 0, 1}, 0})), "2001:db8::7f00:1");
}

TEST_F(LinkLayers, PacketsThatAreNotUdpOverIpStillBecomeRecords) {
    const ByteVector udp = iaxgen::udpPacket(alice, bob, iaxgen::miniFrame(5, 6));
    auto with = [&udp](std::initializer_list<std::pair<std::size_t, std::uint8_t>> changes) {
        ByteVector packet = udp;
        for (const auto& [at, value] : changes) {
            packet[at] = value;
        }
        return packet;
    };
    const ByteVector ipv6Fragment = [] {
        ByteVector packet = iaxgen::variantPacket(iaxgen::Variant::Ipv6Ethernet, alice, bob,
                                                  iaxgen::miniFrame(5, 6));
        packet[14 + 6] = 44;        // a fragment header instead of destination options
        packet[14 + 40 + 2] = 0x01; // fragment offset 32 bytes: a later fragment
        return packet;
    }();
    struct Case {
        const char* name;
        ByteVector packet;
        std::uint16_t linkType;
        const char* type;
        const char* source;
    };
    const Case cases[] = {
        {"ARP", with({{12, 0x08}, {13, 0x06}}), 1, "ARP", "N/A"},
        {"another EtherType", with({{12, 0x88}, {13, 0xCC}}), 1, "Not IP", "N/A"},
        {"TCP", with({{23, 6}}), 1, "TCP", "10.1.2.3"},
        {"ICMP", with({{23, 1}}), 1, "ICMP", "10.1.2.3"},
        {"GRE", with({{23, 47}}), 1, "IP Protocol 47", "10.1.2.3"},
        {"a later IPv4 fragment", with({{20, 0x00}, {21, 0x10}}), 1, "IPv4 Fragment", "10.1.2.3"},
        {"an IPv4 header length below 20", with({{14, 0x44}}), 1, "Malformed IPv4", "10.1.2.3"},
        {"IP version 5 over Ethernet/IPv4", with({{14, 0x55}}), 1, "Malformed IPv4", "10.1.2.3"},
        {"a later IPv6 fragment", ipv6Fragment, 1, "IPv6 Fragment", "2001:db8::a01:203"},
        {"a link type not read", udp, 147, "Unknown Link Type", "N/A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto frame = decode(c.packet, c.linkType);
        EXPECT_EQ(frame->text(PropertyKey::type), c.type);
        EXPECT_EQ(frame->text(PropertyKey::source), c.source);
        for (PropertyKey key : {PropertyKey::isretry, PropertyKey::subclass, PropertyKey::timestamp,
                                PropertyKey::scall, PropertyKey::dcall}) {
            EXPECT_EQ(frame->text(key), "N/A") << key.name();
        }
        EXPECT_EQ(frame->text(PropertyKey::time), "12:00:00");
    }
}

// Writers take a value's text without making the value: the text must be
// that of the value, for every key of every kind of record.
TEST_F(LinkLayers, EveryValueIsWrittenAsTheTextOfItsValue) {
    std::vector<ByteVector> payloads = {
        iaxgen::miniFrame(5, 6),
        ByteVector{},
        bytesOf({0x80, 0x01, 0x00}),
        bytesOf({0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x20}), // trunk
        bytesOf({0x00, 0x00, 0x80, 0x05, 0x00, 0x06, 0x01, 0x02}), // video mini
        bytesOf({0x00, 0x00, 0x02, 0x00}),                         // another meta frame
        iaxgen::fullFrame({.retransmission = true, .frameType = 6, .subclass = 0x7E}),
        iaxgen::fullFrame({.frameType = 4, .subclass = 0xEE}),
        iaxgen::fullFrame({.frameType = 2, .subclass = 0x8A}),
        iaxgen::fullFrame({.frameType = 2, .subclass = 0x03})};
    for (std::uint8_t type = 0; type < 16; ++type) {
        payloads.push_back(iaxgen::fullFrame({.frameType = type, .subclass = 1}));
    }
    std::vector<std::shared_ptr<KvIAXFrame>> frames = {std::make_shared<KvIAXFrame>()};
    for (const auto& info : iaxgen::variants()) {
        for (const auto& payload : payloads) {
            const auto packet = iaxgen::variantPacket(info.variant, alice, bob, payload);
            frames.push_back(decode(packet, static_cast<std::uint16_t>(info.linkType)));
            // Cut inside the addresses, and then inside the ports.
            for (std::size_t cut :
                 {packet.size() - payload.size() - 14, packet.size() - payload.size() - 6}) {
                frames.push_back(decode(ByteVector(packet.begin(), packet.begin() + cut),
                                        static_cast<std::uint16_t>(info.linkType)));
            }
        }
    }
    ByteVector other = iaxgen::udpPacket(alice, bob, iaxgen::miniFrame(5, 6));
    for (std::uint8_t protocol : {1, 6, 47, 58}) {
        other[23] = protocol;
        frames.push_back(decode(other));
    }
    other[12] = 0x08;
    other[13] = 0x06; // ARP
    frames.push_back(decode(other));
    frames.push_back(decode(other, 147));
    for (const auto& frame : frames) {
        for (PropertyKey key :
             {PropertyKey::source, PropertyKey::destination, PropertyKey::isretry,
              PropertyKey::type, PropertyKey::subclass, PropertyKey::timestamp, PropertyKey::scall,
              PropertyKey::dcall, PropertyKey::time, PropertyKey::informationElements,
              PropertyKey::parameter, PropertyKey::value, PropertyKey::captured,
              PropertyKey::sourcePort, PropertyKey::destinationPort}) {
            const auto value = framedisplay::valueOf(frame->facts(), key, frame->ipv6Addresses());
            std::string written = "kept";
            EXPECT_EQ(
                framedisplay::appendValueText(written, frame->facts(), key, frame->ipv6Addresses()),
                value.has_value())
                << key.name();
            EXPECT_EQ(written, "kept" + (value ? value->text() : std::string()))
                << key.name() << " of a " << frame->text(PropertyKey::type);
        }
    }
}

TEST(CaptureTime, ShownInEachTimeFormat) {
    using framedisplay::TimeFormat;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    FrameFacts first;
    first.captureSeconds = 1'765'196'501; // 2025-12-08T12:21:41Z
    first.captureNanoseconds = 123'456'000;
    FrameFacts later = first;
    later.captureSeconds += 2;
    later.captureNanoseconds = 23'456'000;
    const struct {
        TimeFormat format;
        const FrameFacts* since;
        const char* text;
    } cases[] = {
        {TimeFormat::DateAndTime, nullptr, "2025-12-08T12:21:43.023456"},
        {TimeFormat::TimeOfDay, nullptr, "12:21:43.023456"},
        {TimeFormat::SinceFirst, &first, "1.900000"},
        {TimeFormat::SincePrevious, &first, "1.900000"},
        {TimeFormat::SincePrevious, nullptr, "0.000000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(framedisplay::capturedText(later, c.format, c.since, c.since), c.text);
    }
    EXPECT_EQ(framedisplay::capturedText(first, TimeFormat::SinceFirst, &later, nullptr),
              "-1.900000");
}
