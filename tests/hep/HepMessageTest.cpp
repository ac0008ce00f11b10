#include "hep/HepMessage.h"

#include <gtest/gtest.h>

namespace {

hep::Message sample(bool ipv6) {
    hep::Message m;
    m.ipv6 = ipv6;
    m.source = {192, 0, 2, 10};
    m.destination = {198, 51, 100, 20};
    if (ipv6) {
        m.source = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        m.destination = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
    }
    m.sourcePort = 4569;
    m.destinationPort = 4570;
    m.seconds = 1765000000;
    m.microseconds = 123456;
    m.captureId = 2001;
    m.authKey = "secret";
    m.correlationId = "192.0.2.10:4569/1/1765000000.123456";
    m.node = "pbx-1";
    m.mos = 437;
    m.vlan = 12;
    m.payload = {0x80, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x06, 0x01};
    return m;
}

void expectSame(const hep::Message& a, const hep::Message& b) {
    EXPECT_EQ(a.ipv6, b.ipv6);
    EXPECT_EQ(a.source, b.source);
    EXPECT_EQ(a.destination, b.destination);
    EXPECT_EQ(a.sourcePort, b.sourcePort);
    EXPECT_EQ(a.destinationPort, b.destinationPort);
    EXPECT_EQ(a.seconds, b.seconds);
    EXPECT_EQ(a.microseconds, b.microseconds);
    EXPECT_EQ(a.protocolType, b.protocolType);
    EXPECT_EQ(a.captureId, b.captureId);
    EXPECT_EQ(a.authKey, b.authKey);
    EXPECT_EQ(a.correlationId, b.correlationId);
    EXPECT_EQ(a.node, b.node);
    EXPECT_EQ(a.mos, b.mos);
    EXPECT_EQ(a.vlan, b.vlan);
    EXPECT_EQ(a.payload, b.payload);
}

} // namespace

// What is written reads back field for field, with the length the header
// gives; optional chunks left out stay unset; a message follows the last one
// as on a TCP stream.
TEST(HepMessage, WhatIsWrittenReadsBack) {
    hep::Message bare = sample(false);
    bare.authKey.clear();
    bare.correlationId.clear();
    bare.node.clear();
    bare.mos.reset();
    bare.vlan.reset();
    for (const hep::Message& m : {sample(false), sample(true), bare}) {
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(hep::encode(m, bytes));
        ASSERT_TRUE(hep::encode(m, bytes)); // a second one after it
        const hep::Read read = hep::decode(bytes);
        ASSERT_EQ(read.error, hep::ReadError::None);
        EXPECT_EQ(read.length, bytes.size() / 2);
        EXPECT_EQ(bytes[4] << 8 | bytes[5], static_cast<int>(read.length));
        expectSame(read.message, m);
    }
}

// A message too long for its length field is refused, writing nothing.
TEST(HepMessage, AMessagePastSixtyFourKibibytesIsRefused) {
    hep::Message m = sample(false);
    m.payload.assign(65535, 0);
    std::vector<std::uint8_t> bytes{1, 2};
    EXPECT_FALSE(hep::encode(m, bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2}));
}

// Bad input: told apart as not HEP, cut by the capture, or wrong on the
// wire; chunks of another vendor or of unknown types are passed over.
TEST(HepMessage, BadMessagesSayWhatIsWrong) {
    std::vector<std::uint8_t> good;
    ASSERT_TRUE(hep::encode(sample(false), good));
    auto with = [&](auto change) {
        auto bytes = good;
        change(bytes);
        return bytes;
    };
    // A chunk of vendor 7 and one of type 0x0099 before the payload's.
    auto foreign = with([](std::vector<std::uint8_t>& b) {
        const std::uint8_t extra[] = {0, 7, 0, 0x0f, 0, 8, 0xAA, 0xBB, 0, 0, 0, 0x99, 0, 7, 0xCC};
        b.insert(b.begin() + 6, std::begin(extra), std::end(extra));
        const auto length = static_cast<std::uint16_t>(b.size());
        b[4] = static_cast<std::uint8_t>(length >> 8);
        b[5] = static_cast<std::uint8_t>(length);
    });
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
        hep::ReadError error;
    } cases[] = {
        {"empty", {}, hep::ReadError::NotHep},
        {"HEP2", with([](auto& b) { b[3] = '2'; }), hep::ReadError::NotHep},
        {"cut in the header", std::vector<std::uint8_t>(good.begin(), good.begin() + 5),
         hep::ReadError::Truncated},
        {"cut in a chunk", std::vector<std::uint8_t>(good.begin(), good.end() - 1),
         hep::ReadError::Truncated},
        {"length under the header", with([](auto& b) { b[5] = 3, b[4] = 0; }),
         hep::ReadError::Malformed},
        {"chunk under 6 bytes", with([](auto& b) { b[11] = 5; }), hep::ReadError::Malformed},
        {"chunk past the message", with([](auto& b) { b[11] = 200; }), hep::ReadError::Malformed},
        {"foreign chunks", foreign, hep::ReadError::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const hep::Read read = hep::decode(c.bytes);
        EXPECT_EQ(read.error, c.error) << hep::readErrorText(read.error);
        if (c.error == hep::ReadError::None) {
            expectSame(read.message, sample(false));
        }
    }
}
