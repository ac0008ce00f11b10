// quorvex-dump --hep against a collector on loopback: every frame arrives as
// a HEP message whose payload is the UDP payload tshark reads from the file,
// with the addresses, ports and time of the packet, and one correlation id a
// call.
#include "hep/HepMessage.h"
#include "tests/support/Process.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <thread>

namespace {

// Takes every datagram sent to a loopback port until stopped.
class Collector {
public:
    Collector() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        // A file is sent as fast as the socket takes it: room for all of it
        // (past the system's limit as root, which CI runs as).
        const int room = 64 << 20;
        if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &room, sizeof room) != 0) {
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        reader_ = std::thread([this] {
            std::vector<std::uint8_t> buffer(65536);
            while (!stop_) {
                pollfd ready{fd_, POLLIN, 0};
                if (::poll(&ready, 1, 50) == 1) {
                    const auto got = ::recv(fd_, buffer.data(), buffer.size(), 0);
                    if (got > 0) {
                        received_.emplace_back(buffer.begin(), buffer.begin() + got);
                    }
                }
            }
        });
    }
    ~Collector() {
        stop();
        ::close(fd_);
    }
    [[nodiscard]] QString target() const { return QString("udp:127.0.0.1:%1").arg(port_); }
    // What arrived, once the sender has gone quiet.
    const std::vector<std::vector<std::uint8_t>>& stop() {
        if (reader_.joinable()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            stop_ = true;
            reader_.join();
        }
        return received_;
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::vector<std::vector<std::uint8_t>> received_;
    std::thread reader_;
};

QByteArray hex(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()))
        .toHex();
}

} // namespace

TEST(HepDump, EveryFrameGoesAsTheFileHoldsItWithOneIdACall) {
    const QString tshark = QStandardPaths::findExecutable("tshark");
    if (tshark.isEmpty()) {
        GTEST_SKIP() << "tshark is not installed (apt-get install tshark)";
    }
    QTemporaryDir dir;
    // The real call; several calls; the tone calls, trunked among them; IPv6.
    QStringList files{QUORVEX_TEST_DATA "/public-iax2-call-2005.pcap"};
    for (const char* kind : {"quality", "tones"}) {
        files << dir.filePath(QString(kind) + ".pcap");
        ASSERT_EQ(runProcess(QUORVEX_GEN, {kind, files.back()}).exitCode, 0);
    }
    files << dir.filePath("ipv6.pcap");
    ASSERT_EQ(runProcess(QUORVEX_GEN, {"sample-as", "ipv6", files.back()}).exitCode, 0);
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        Collector collector;
        const ProcessResult run =
            runProcess(QUORVEX_DUMP, {"--hep", collector.target(), "--hep-id", "4242", "--hep-node",
                                      "pbx-7", "-T", "fields", "-e", "iax2.call", file});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(" 0 dropped")) << run.err.toStdString();
        const auto calls = outputLines(run.out);
        const auto theirs =
            outputLines(runProcess(tshark, {"-r", file, "-T", "fields", "-e", "udp.payload", "-e",
                                            "ip.src", "-e", "udp.srcport", "-e", "ipv6.src", "-e",
                                            "udp.dstport", "-e", "frame.time_epoch"})
                            .out);
        // The frames; then the reports and logs, which the next test reads.
        std::vector<std::vector<std::uint8_t>> received;
        for (const auto& message : collector.stop()) {
            if (hep::decode(message).message.protocolType == 10) {
                received.push_back(message);
            }
        }
        ASSERT_EQ(received.size(), calls.size());
        ASSERT_EQ(received.size(), theirs.size());
        std::map<QByteArray, std::string> idOfCall;
        std::set<std::string> ids;
        for (std::size_t i = 0; i < received.size(); ++i) {
            const hep::Read read = hep::decode(received[i]);
            ASSERT_EQ(read.error, hep::ReadError::None) << i;
            const hep::Message& m = read.message;
            const auto t = theirs[static_cast<qsizetype>(i)].split('\t');
            EXPECT_EQ(hex(m.payload), t[0]) << "frame " << i + 1;
            char source[INET6_ADDRSTRLEN] = {};
            inet_ntop(m.ipv6 ? AF_INET6 : AF_INET, m.source.data(), source, sizeof source);
            EXPECT_EQ(QByteArray(source), m.ipv6 ? t[3] : t[1]) << "frame " << i + 1;
            EXPECT_EQ(QByteArray::number(m.sourcePort), t[2]);
            EXPECT_EQ(QByteArray::number(m.destinationPort), t[4]);
            EXPECT_EQ(QByteArray::number(m.seconds), t[5].split('.')[0]);
            EXPECT_EQ(m.microseconds, t[5].split('.')[1].left(6).toUInt());
            EXPECT_EQ(m.captureId, 4242u);
            EXPECT_EQ(m.node, "pbx-7");
            EXPECT_EQ(m.protocolType, 10);
            const QByteArray call = calls[static_cast<qsizetype>(i)].split(',')[0];
            if (call.isEmpty()) {
                EXPECT_TRUE(m.correlationId.empty()) << "frame " << i + 1;
                continue;
            }
            const auto [known, added] = idOfCall.emplace(call, m.correlationId);
            EXPECT_EQ(known->second, m.correlationId) << "frame " << i + 1;
            if (added) {
                EXPECT_TRUE(ids.insert(m.correlationId).second) << m.correlationId;
            }
        }
        EXPECT_GE(idOfCall.size(), 1u);
    }
}

// A collector that is away, or a target that is no address, fails the run
// and says why; nothing is waited for.
TEST(HepDump, ACollectorThatIsAwayFailsTheRunAndSaysWhy) {
    const QString call = QUORVEX_TEST_DATA "/public-iax2-call-2005.pcap";
    const struct {
        QStringList arguments;
        int exitCode;
        const char* says;
    } cases[] = {
        {{"--hep", "tcp:127.0.0.1:1", call},
         1,
         "53 dropped (HEP collector 127.0.0.1:1: Connection refused)"},
        {{"--hep", "udp:nowhere.invalid:9060", call}, 2, "nowhere.invalid cannot be found"},
        {{"--hep", "udp:127.0.0.1", call}, 2, "has no port"},
        {{"--hep", "udp:127.0.0.1:9", "--hep-password-file", "/nonexistent/key", call}, 2,
         "HEP password"},
        // Options that make no sense together are refused with the usage.
        {{"--hep-id", "3", call}, 2, "usage:"},
        {{"--hep", "udp:127.0.0.1:9", "--calls", call}, 2, "usage:"},
        {{"--hep", "udp:127.0.0.1:9", "--hep-report-interval", "0", "--live"}, 2, "usage:"},
        {{"--hep-report-interval", "5", "--live"}, 2, "usage:"},
        {{"--hep", "udp:127.0.0.1:9", "--hep-password", "a", "--hep-password-file", "-", call}, 2,
         "usage:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ProcessResult run = runProcess(QUORVEX_DUMP, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
    }
}

// hep-js, the decoder collectors' tools use, reads every message as Quorvex
// meant it.
TEST(HepDump, AnIndependentDecoderReadsEveryMessage) {
    const QString node = QStandardPaths::findExecutable("node");
    if (node.isEmpty() || !QDir(QUORVEX_HEPJS "/hep-js").exists()) {
        GTEST_SKIP() << "hep-js is not installed (scripts/test.sh installs it with npm)";
    }
    Collector collector;
    const QString file = QUORVEX_TEST_DATA "/public-iax2-call-2005.pcap";
    const ProcessResult run =
        runProcess(QUORVEX_DUMP,
                   {"--hep", collector.target(), "--hep-id", "77", "--hep-node", "pbx-7",
                    "--hep-password-file", "/dev/stdin", file},
                   "s3cret\n");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QByteArray lines;
    std::vector<std::vector<std::uint8_t>> received;
    for (const auto& message : collector.stop()) {
        if (hep::decode(message).message.protocolType == 10) {
            received.push_back(message);
            lines += hex(message) + "\n";
        }
    }
    ASSERT_EQ(received.size(), 50u);
    QProcess decoder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("NODE_PATH", QUORVEX_HEPJS);
    decoder.setProcessEnvironment(environment);
    decoder.start(node, {QUORVEX_HEPJS_DECODE});
    decoder.write(lines);
    decoder.closeWriteChannel();
    ASSERT_TRUE(decoder.waitForFinished(30000));
    const auto decoded = outputLines(decoder.readAllStandardOutput());
    ASSERT_EQ(decoded.size(), 50) << decoder.readAllStandardError().toStdString();
    for (std::size_t i = 0; i < received.size(); ++i) {
        const hep::Message ours = hep::decode(received[i]).message;
        const QJsonObject theirs =
            QJsonDocument::fromJson(decoded[static_cast<qsizetype>(i)]).object();
        EXPECT_EQ(theirs["protocolFamily"].toInt(), 2);
        EXPECT_EQ(theirs["protocol"].toInt(), 17);
        EXPECT_EQ(theirs["srcIp"].toString(), QString("%1.%2.%3.%4")
                                                  .arg(ours.source[0])
                                                  .arg(ours.source[1])
                                                  .arg(ours.source[2])
                                                  .arg(ours.source[3]));
        EXPECT_EQ(theirs["srcPort"].toInt(), ours.sourcePort);
        EXPECT_EQ(theirs["dstPort"].toInt(), ours.destinationPort);
        EXPECT_EQ(theirs["timeSeconds"].toInteger(), ours.seconds);
        EXPECT_EQ(theirs["timeUseconds"].toInteger(), ours.microseconds);
        EXPECT_EQ(theirs["payloadType"].toInt(), 10);
        EXPECT_EQ(theirs["captureId"].toInt(), 77);
        EXPECT_EQ(theirs["capturePass"].toString(), "s3cret");
        EXPECT_EQ(theirs["hepNodeName"].toString(), "pbx-7");
        EXPECT_EQ(theirs["correlation_id"].toString().toStdString(), ours.correlationId);
        EXPECT_FALSE(ours.correlationId.empty());
    }
}

// Once the file is read, each voice stream's QoS report carries the figures
// --streams gives it, and each call's log is its --calls record; both with
// the call's correlation id.
TEST(HepDump, ReportsCarryTheFiguresOfStreamsAndCalls) {
    QTemporaryDir dir;
    const QString file = dir.filePath("quality.pcap");
    ASSERT_EQ(runProcess(QUORVEX_GEN, {"quality", file}).exitCode, 0);
    Collector collector;
    ASSERT_EQ(runProcess(QUORVEX_DUMP, {"--hep", collector.target(), file}).exitCode, 0);
    std::vector<QJsonObject> reports, logs;
    std::vector<std::optional<std::uint16_t>> mosChunks;
    std::set<std::string> frameIds;
    for (const auto& bytes : collector.stop()) {
        const hep::Message m = hep::decode(bytes).message;
        const auto json = [&] {
            return QJsonDocument::fromJson(
                       QByteArray(reinterpret_cast<const char*>(m.payload.data()),
                                  static_cast<qsizetype>(m.payload.size())))
                .object();
        };
        if (m.protocolType == 10) {
            frameIds.insert(m.correlationId);
        } else if (m.protocolType == 34) {
            reports.push_back(json());
            mosChunks.push_back(m.mos);
            EXPECT_EQ(reports.back()["CORRELATION_ID"].toString().toStdString(), m.correlationId);
        } else if (m.protocolType == 100) {
            logs.push_back(json());
            EXPECT_EQ(logs.back()["CORRELATION_ID"].toString().toStdString(), m.correlationId);
        }
    }
    const auto rows = [&](const char* listing) {
        std::vector<QJsonObject> all;
        for (const QByteArray& line : outputLines(runProcess(QUORVEX_DUMP, {listing, file}).out)) {
            all.push_back(QJsonDocument::fromJson(line).object());
        }
        return all;
    };
    const auto streams = rows("--streams");
    const auto calls = rows("--calls");
    ASSERT_EQ(reports.size(), streams.size());
    ASSERT_EQ(logs.size(), calls.size());
    std::size_t withMos = 0;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        SCOPED_TRACE(i);
        const QJsonObject& r = reports[i];
        const QJsonObject& s = streams[i];
        EXPECT_EQ(r["TYPE"].toString(), "FINAL");
        EXPECT_EQ(r["TOTAL_PK"], s["packets"]);
        EXPECT_EQ(r["EXPECTED_PK"], s["expected"]);
        EXPECT_EQ(r["PACKET_LOSS"], s["lost"]);
        EXPECT_EQ(r["OUT_ORDER"], s["outOfOrder"]);
        EXPECT_EQ(r["MAX_JITTER"], s["maxJitter"]);
        EXPECT_EQ(r["MEAN_JITTER"], s["meanJitter"]);
        EXPECT_EQ(r["MAX_DELTA"], s["maxDelta"]);
        EXPECT_EQ(r["MOS"], s["mos"]);
        EXPECT_EQ(r["RFACTOR"], s["rFactor"]);
        EXPECT_EQ(r["CODEC_NAME"], s["codec"]);
        EXPECT_EQ(r["DIR"].toInt(), s["direction"].toString() == "caller" ? 0 : 1);
        EXPECT_EQ(QString("%1:%2").arg(r["SRC_IP"].toString()).arg(r["SRC_PORT"].toInt()),
                  s["source"].toString());
        EXPECT_TRUE(frameIds.contains(r["CORRELATION_ID"].toString().toStdString()));
        if (!s["mos"].isNull()) {
            ++withMos;
            EXPECT_EQ(mosChunks[i], std::lround(s["mos"].toDouble() * 100));
        }
    }
    EXPECT_GT(withMos, 0u);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        QJsonObject log = logs[i];
        log.remove("CORRELATION_ID");
        EXPECT_EQ(log, calls[i]) << i;
    }
}

namespace {

// The messages as a collector's capture holds them: raw IPv4 packets from
// 127.0.0.2:40000 to 127.0.0.1:9060, a pcap file.
QString captureOf(const std::vector<std::vector<std::uint8_t>>& messages, const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray out;
    const auto le32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            out.append(static_cast<char>(v >> (8 * i)));
        }
    };
    const auto be16 = [&](std::uint16_t v) {
        out.append(static_cast<char>(v >> 8));
        out.append(static_cast<char>(v));
    };
    le32(0xa1b2c3d4);
    out.append("\x02\x00\x04\x00", 4);
    le32(0);
    le32(0);
    le32(65535);
    le32(101); // raw IP
    std::uint32_t second = 1'800'000'000;
    for (const auto& message : messages) {
        const auto total = static_cast<std::uint16_t>(28 + message.size());
        le32(second++);
        le32(0);
        le32(total);
        le32(total);
        out.append("\x45\x00", 2);
        be16(total);
        out.append("\x00\x00\x00\x00\x40\x11\x00\x00\x7f\x00\x00\x02\x7f\x00\x00\x01", 16);
        be16(40000);
        be16(9060);
        be16(static_cast<std::uint16_t>(8 + message.size()));
        be16(0);
        out.append(reinterpret_cast<const char*>(message.data()),
                   static_cast<qsizetype>(message.size()));
    }
    file.write(out);
    return path;
}

} // namespace

// A collector's capture of what --hep sent opens as the packets it carried:
// the same records and calls as the original file, with the HEP message's
// fields beside them; the reports and logs are HEP records of their own.
TEST(HepDump, ACaptureOfTheFeedOpensAsTheCarriedPackets) {
    const QString original = QUORVEX_TEST_DATA "/public-iax2-call-2005.pcap";
    Collector collector;
    ASSERT_EQ(runProcess(QUORVEX_DUMP, {"--hep", collector.target(), "--hep-id", "31", original})
                  .exitCode,
              0);
    QTemporaryDir dir;
    const QString fed = captureOf(collector.stop(), dir.filePath("collector.pcap"));
    const auto keys = [](const QByteArray& line) {
        QJsonObject record = QJsonDocument::fromJson(line).object();
        record.remove("time");
        record.remove("captured");
        return record;
    };
    const auto before = outputLines(runProcess(QUORVEX_DUMP, {original}).out);
    const auto after = outputLines(runProcess(QUORVEX_DUMP, {fed}).out);
    ASSERT_EQ(after.size(), before.size() + 3); // two QoS reports and a call log
    for (qsizetype i = 0; i < before.size(); ++i) {
        EXPECT_EQ(keys(after[i]), keys(before[i])) << i + 1;
    }
    EXPECT_EQ(keys(after[50])["type"].toString(), "HEP type 34");
    EXPECT_EQ(keys(after[52])["type"].toString(), "HEP type 100");
    EXPECT_EQ(runProcess(QUORVEX_DUMP, {"--calls", fed}).out,
              runProcess(QUORVEX_DUMP, {"--calls", original}).out);
    const auto fields = outputLines(
        runProcess(QUORVEX_DUMP, {"-T", "fields", "-e", "frame.protocols", "-e", "hep.capture_id",
                                  "-e", "hep.outer_dstport", "-e", "ip.src", "-Y",
                                  "hep.capture_id == 31 && hep.proto_type == 10", fed})
            .out);
    ASSERT_EQ(fields.size(), 50);
    EXPECT_EQ(fields[0], "raw:ip:udp:hep:iax2\t31\t9060\t82.110.36.84");
}
