#include "dissect/KvIAXInformationElement.h"
#include "dissect/LocalClock.h"
#include "capturefile/CaptureFileWriter.h"
#include "samples/Scenarios.h"

#include "tests/support/Bytes.h"
#include "tests/support/LoadHarness.h"
#include "tests/support/RecordingLogSink.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#ifndef QUORVEX_TEST_DATA
#error "QUORVEX_TEST_DATA must name the test data folder"
#endif

namespace {

const iaxgen::Endpoint alice{{10, 0, 0, 1}, 4569};
const iaxgen::Endpoint bob{{10, 0, 0, 2}, 4569};

class Loader : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(name); }

    QString writeCapture(const char* name, const std::vector<ByteVector>& packets) const {
        CaptureFileWriter writer(path(name).toStdString());
        EXPECT_TRUE(writer.ok()) << writer.error();
        std::int64_t us = 1'000'000;
        for (const auto& packet : packets) {
            writer.write(packet, us += 20'000);
        }
        return path(name);
    }

    static std::vector<std::string> column(const KvIAXCapture& capture, PropertyKey key) {
        std::vector<std::string> values;
        for (const auto& frame : capture.iaxFrames()) {
            values.push_back(frame->properties().text(key));
        }
        return values;
    }

    RecordingLogSink log;
    QTemporaryDir dir;
    LoadHarness harness;
};

using Texts = std::vector<std::string>;

} // namespace

TEST_F(Loader, EmptyFileLeavesTheListEmpty) {
    const auto capture = harness.load(writeCapture("empty.pcap", {}));
    EXPECT_TRUE(capture->iaxFrames().empty());
    EXPECT_TRUE(harness.alert.messages.empty());
    EXPECT_EQ(capture->valueForKey("status").toString(), "Idle");
    EXPECT_TRUE(capture->isInProgress()); // nothing but a stop clears the flag
    EXPECT_EQ(log.lines(), (Texts{"In KvIAXCapture init", "In loadCapturecap", "Reading packet",
                                  "Capture has been stopped"}));
}

TEST_F(Loader, EveryPacketBecomesOneRecordInFileOrder) {
    std::vector<ByteVector> packets;
    scenarios::sampleCall([&](const iaxgen::Bytes& p, std::int64_t) { packets.push_back(p); });
    // And packets that are not IAX2 at all: a padded ARP frame and a TCP segment.
    packets.push_back(ByteVector(60, 0x06));
    ByteVector tcp = iaxgen::udpPacket(alice, bob, bytesOf({0x80, 0, 0, 0}));
    tcp[23] = 6;
    packets.push_back(tcp);
    const auto capture = harness.load(writeCapture("mixed.pcap", packets));

    ASSERT_EQ(capture->iaxFrames().size(), packets.size());
    const Texts types = column(*capture, PropertyKey::type);
    EXPECT_EQ(types[0], "IAX Control");
    EXPECT_EQ(types[8], "Control");
    EXPECT_EQ(types[12], "Voice Data");
    EXPECT_EQ(types[16], "Mini Frame");
    EXPECT_EQ(column(*capture, PropertyKey::subclass)[36], "HANGUP");
    EXPECT_EQ(types[38], "Not IP"); // EtherType 0x0606
    EXPECT_EQ(types[39], "TCP");
    EXPECT_EQ(capture->valueForKey("button").toString(), "Start");

    // One delivery per frame, each with its log lines, in order.
    const auto lines = log.lines();
    EXPECT_EQ(log.count("Reading packet"), static_cast<long>(packets.size() + 1));
    EXPECT_EQ(log.count("In KvIaxFrame init"), static_cast<long>(packets.size()));
    EXPECT_EQ(lines[2], "Reading packet");
    EXPECT_EQ(lines[3], "In KvIaxFrame init");
    EXPECT_EQ(lines[4], "Adding frame to buffer with type: IAX Control");
    EXPECT_EQ(lines.back(), "Capture has been stopped");
}

TEST_F(Loader, FramesShowTheLocalTimeOfLoadingNotOfCapture) {
    const std::uint32_t before = localSecondsOfDay();
    const auto capture = harness.load(writeCapture(
        "one.pcap", {iaxgen::udpPacket(alice, bob, bytesOf({0x00, 0x01, 0x00, 0x02}))}));
    const std::uint32_t after = localSecondsOfDay();
    ASSERT_EQ(capture->iaxFrames().size(), 1u);
    const std::string shown = capture->iaxFrames()[0]->properties().text(PropertyKey::time);
    EXPECT_TRUE(shown == PropertyValue::clockTime(before).text() ||
                shown == PropertyValue::clockTime(after).text())
        << shown;
}

TEST_F(Loader, TruncatedLastRecordKeepsTheFramesAndSaysSo) {
    std::vector<ByteVector> packets(3, iaxgen::udpPacket(alice, bob, bytesOf({0, 1, 0, 2, 9, 9})));
    const QString file = writeCapture("cut.pcap", packets);
    std::filesystem::resize_file(file.toStdString(),
                                 std::filesystem::file_size(file.toStdString()) - 3);

    const auto capture = harness.load(file);
    EXPECT_EQ(capture->iaxFrames().size(), 2u);
    ASSERT_EQ(harness.alert.messages.size(), 1u);
    EXPECT_NE(harness.alert.messages[0].find("truncated"), std::string::npos)
        << harness.alert.messages[0];
    EXPECT_EQ(capture->valueForKey("status").toString(), "Error");
    EXPECT_EQ(log.lines().back(), "Capture has been stopped");
}

TEST_F(Loader, UnreadableFilesPutTheCaptureInTheErrorState) {
    { std::ofstream(path("text.pcap").toStdString()) << "this is not a capture file\n"; }
    struct Case {
        QString file;
        std::string expected;
    };
    for (const Case& c :
         {Case{path("missing.pcap"), "No such file or directory"},
          Case{path("text.pcap"), "unknown file format"}, Case{dir.path(), "Is a directory"}}) {
        harness.alert.messages.clear();
        log.clear();
        const auto capture = harness.load(c.file);
        EXPECT_TRUE(capture->iaxFrames().empty());
        EXPECT_EQ(capture->valueForKey("status").toString(), "Error");
        EXPECT_EQ(capture->valueForKey("button").toString(), "Start");
        ASSERT_EQ(harness.alert.messages.size(), 1u);
        EXPECT_NE(harness.alert.messages[0].find(c.expected), std::string::npos)
            << harness.alert.messages[0];
        EXPECT_EQ(log.count("Capture has been stopped"), 0);
    }
}

TEST_F(Loader, TwoLoadsIntoOneCaptureAppendToOneList) {
    const QString file =
        writeCapture("two.pcap", {iaxgen::udpPacket(alice, bob, bytesOf({0, 1, 0, 2}))});
    auto capture = harness.load(file);
    bool ended = false;
    QObject::connect(capture.get(), &KvIAXCapture::runEnded, [&ended] { ended = true; });
    capture->loadCapture(file);
    ASSERT_TRUE(pumpUntil([&ended] { return ended; }));
    EXPECT_EQ(capture->iaxFrames().size(), 2u);
}

TEST_F(Loader, RealCallFromThePublicCapture) {
    const auto capture = harness.load(QUORVEX_TEST_DATA "/public-iax2-call-2005.pcap");
    ASSERT_EQ(capture->iaxFrames().size(), 50u);
    auto row = [&](std::size_t index) {
        const PropertyMap& p = capture->iaxFrames()[index]->properties();
        return Texts{p.text(PropertyKey::source),   p.text(PropertyKey::destination),
                     p.text(PropertyKey::isretry),  p.text(PropertyKey::type),
                     p.text(PropertyKey::subclass), p.text(PropertyKey::timestamp),
                     p.text(PropertyKey::scall),    p.text(PropertyKey::dcall)};
    };
    EXPECT_EQ(row(0), (Texts{"82.110.36.84", "192.168.2.120", "No", "IAX Control", "NEW", "00001",
                             "00004", "00000"}));
    EXPECT_EQ(row(4), (Texts{"192.168.2.120", "82.110.36.84", "No", "Control", "Answer", "00031",
                             "00023", "00004"}));
    EXPECT_EQ(row(6), (Texts{"82.110.36.84", "192.168.2.120", "N/A", "Mini Frame", "N/A", "00056",
                             "00004", "N/A"}));
    EXPECT_EQ(row(7), (Texts{"82.110.36.84", "192.168.2.120", "No", "Voice Data", "GSM Full Rate",
                             "00073", "00004", "00023"}));
    EXPECT_EQ(row(8)[4], "Unkn codec");

    // Packets 4, 6 and 10 carry Ethernet padding: 60 bytes captured, a UDP
    // length of 20. The padding must not be read as information elements.
    for (std::size_t index : {3u, 5u, 9u}) {
        EXPECT_EQ(row(index)[4], "ACK") << index;
        EXPECT_TRUE(capture->iaxFrames()[index]->iaxInformationElements().empty()) << index;
    }

    const auto& elements = capture->iaxFrames()[0]->iaxInformationElements();
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& element : elements) {
        pairs.emplace_back(element->properties().text(PropertyKey::parameter),
                           element->properties().text(PropertyKey::value));
    }
    ASSERT_EQ(pairs.size(), 8u);
    EXPECT_EQ(pairs[0], std::make_pair(std::string("Version"), std::string("2")));
    EXPECT_EQ(pairs[1], std::make_pair(std::string("Called Number"), std::string("442088205155")));
    EXPECT_EQ(pairs[5].first, "Unknown Info Element");
    EXPECT_EQ(pairs[7],
              std::make_pair(std::string("Datetime"), std::string("10:46:44 12-08-2005")));
    EXPECT_EQ(harness.dump.str(), "Unknown IE 255 at position: 38 with length: 4\n0002\n");
}

TEST_F(Loader, PerPacketLinesOnlyWithDebugLogging) {
    std::vector<ByteVector> packets;
    scenarios::sampleCall([&](const iaxgen::Bytes& p, std::int64_t) { packets.push_back(p); });
    const QString file = writeCapture("sample.pcap", packets);
    for (const bool debug : {false, true}) {
        RecordingLogSink lines(debug);
        const auto capture = harness.load(file);
        ASSERT_EQ(capture->iaxFrames().size(), packets.size());
        EXPECT_EQ(lines.count("Reading packet"), debug ? static_cast<long>(packets.size()) + 1 : 0);
        EXPECT_EQ(lines.count("In KvIaxFrame init"), debug ? static_cast<long>(packets.size()) : 0);
        if (!debug) {
            EXPECT_EQ(lines.lines(), (Texts{"In KvIAXCapture init", "In loadCapturecap",
                                            "Capture has been stopped"}));
        }
    }
}

namespace {

// A pcap file with nanosecond times, written by hand: libpcap's dumper
// writes microseconds only.
QByteArray nanosecondCapture(const ByteVector& packet, std::uint32_t seconds,
                             std::uint32_t nanoseconds) {
    QByteArray file;
    auto put32 = [&file](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            file.append(static_cast<char>(v >> (8 * i)));
        }
    };
    put32(0xA1B23C4D);
    put32(0x00040002); // version 2.4
    put32(0);
    put32(0);
    put32(65535);
    put32(1); // Ethernet
    for (int i = 0; i < 2; ++i) {
        put32(seconds + static_cast<std::uint32_t>(i));
        put32(nanoseconds);
        put32(static_cast<std::uint32_t>(packet.size()));
        put32(static_cast<std::uint32_t>(packet.size()) + 4); // 4 bytes not captured
        file.append(reinterpret_cast<const char*>(packet.data()),
                    static_cast<qsizetype>(packet.size()));
    }
    return file;
}

} // namespace

TEST_F(Loader, FactsKeepCaptureTimeLengthsAndWhereEachPacketLies) {
    const ByteVector packet = iaxgen::udpPacket(alice, bob, iaxgen::miniFrame(5, 6));
    QFile nano(path("nano.pcap"));
    ASSERT_TRUE(nano.open(QIODevice::WriteOnly));
    nano.write(nanosecondCapture(packet, 1'700'000'000, 987'654'321));
    nano.close();
    const QString micro = writeCapture("micro.pcap", {packet, packet}); // at 1.02 s and 1.04 s
    // The seconds field is unsigned: past 2038, never before 1970.
    QFile late(path("late.pcap"));
    ASSERT_TRUE(late.open(QIODevice::WriteOnly));
    late.write(nanosecondCapture(packet, 0xFFFFFFF0u, 5));
    late.close();

    struct Expected {
        QString file;
        std::int64_t seconds;
        std::uint32_t nanoseconds;
        TimeResolution resolution;
        std::uint32_t wireLength;
    };
    for (const Expected& e :
         {Expected{nano.fileName(), 1'700'000'000, 987'654'321, TimeResolution::Nanoseconds,
                   static_cast<std::uint32_t>(packet.size()) + 4},
          Expected{micro, 1, 20'000'000, TimeResolution::Microseconds,
                   static_cast<std::uint32_t>(packet.size())},
          Expected{late.fileName(), 0xFFFFFFF0, 5, TimeResolution::Nanoseconds,
                   static_cast<std::uint32_t>(packet.size()) + 4}}) {
        SCOPED_TRACE(e.file.toStdString());
        const auto capture = harness.load(e.file);
        ASSERT_EQ(capture->iaxFrames().size(), 2u);
        for (std::uint32_t i = 0; i < 2; ++i) {
            const FrameFacts& f = capture->iaxFrames()[i]->facts();
            EXPECT_EQ(f.packetIndex, i);
            // The file header is 24 bytes, each record header 16.
            EXPECT_EQ(f.fileOffset, 24 + i * (16 + packet.size()));
            EXPECT_EQ(f.capturedLength, packet.size());
            EXPECT_EQ(f.wireLength, e.wireLength);
            EXPECT_EQ(f.linkType, 1);
            EXPECT_EQ(f.resolution(), e.resolution);
            EXPECT_EQ(f.kind(), FrameKind::Mini);
        }
        const FrameFacts& first = capture->iaxFrames()[0]->facts();
        EXPECT_EQ(first.captureSeconds, e.seconds);
        EXPECT_EQ(first.captureNanoseconds, e.nanoseconds);
    }
}
