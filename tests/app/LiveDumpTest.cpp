// quorvex-dump --live, run as a user runs it, inside the capture namespace.
#include "samples/CaptureFileReader.h"
#include "samples/IaxPacketBuilder.h"

#include "hep/HepMessage.h"
#include "tests/support/ScratchClickHouse.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/EventLoop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <cstdio>
#include <unistd.h>

namespace {

class LiveDump : public ::testing::Test {
protected:
    void SetUp() override {
        if (!network.failure().empty()) {
            GTEST_SKIP() << network.failure();
        }
        ASSERT_TRUE(network.enterCaptureSide()); // children start on this side too
    }
    // Starts the tool and waits until the capture has opened the temporary file.
    void startDump(const QStringList& arguments) {
        std::remove("/tmp/quorvex.capture");
        dump.start(QUORVEX_DUMP, QStringList{"--live", "--format", "tsv"} + arguments);
        ASSERT_TRUE(dump.waitForStarted());
        ASSERT_TRUE(pumpUntil([] { return access("/tmp/quorvex.capture", F_OK) == 0; }));
        QThread::msleep(300);
    }
    void sendPackets(int count, int gapMs = 50) {
        std::vector<TestNetwork::Datagram> datagrams;
        for (int i = 0; i < count; ++i) {
            datagrams.push_back(
                {4569,
                 iaxgen::fullFrame(
                     {.timestamp = static_cast<std::uint32_t>(i), .frameType = 6, .subclass = 2})});
        }
        network.sendFromPeer(datagrams, gapMs).wait();
    }
    static int packetsInTemporaryFile() {
        std::string error;
        const auto packets = readCapturedPackets("/tmp/quorvex.capture", &error);
        return error.empty() ? static_cast<int>(packets.size()) : -1;
    }

    TestNetwork network;
    QProcess dump;
};

} // namespace

TEST_F(LiveDump, StopsAfterCountFramesAndPrintsThem) {
    startDump({"--count", "3"});
    sendPackets(5);
    // Frames go out when a packet arrives more than a second after the last
    // delivery: the burst waits in the worker's buffer until this one.
    QThread::msleep(1200);
    sendPackets(1);
    ASSERT_TRUE(dump.waitForFinished(10000));
    EXPECT_EQ(dump.exitCode(), 0) << dump.readAllStandardError().toStdString();
    const QList<QByteArray> lines = dump.readAllStandardOutput().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4); // header and three records
    EXPECT_TRUE(lines[1].contains("\tIAX Control\tPING\t00000\t"));
    EXPECT_GE(packetsInTemporaryFile(), 3);
}

// Linux captures on "any" (cooked headers), on a VLAN sub-interface and
// over IPv6 give the records that were sent, with the link type the
// interface has.
TEST_F(LiveDump, CapturesOnAnyOnAVlanAndOverIpv6) {
    const struct {
        const char* interfaceName;
        const char* to;
        const char* from;
    } cases[] = {
        {"any", TestNetwork::captureAddress, TestNetwork::peerAddress},
        {"en0.42", TestNetwork::vlanCaptureAddress, TestNetwork::vlanPeerAddress},
        {"en0", TestNetwork::ipv6CaptureAddress, TestNetwork::ipv6PeerAddress},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interfaceName + std::string(" to ") + c.to);
        if (std::string(c.interfaceName) == "en0.42" && !network.vlanAvailable()) {
            std::fprintf(stderr, "no VLAN case: this kernel cannot make 802.1Q interfaces\n");
            continue;
        }
        startDump({"--interface", c.interfaceName, "--count", "3"});
        std::vector<TestNetwork::Datagram> datagrams;
        for (std::uint32_t i = 0; i < 3; ++i) {
            datagrams.push_back(
                {4569, iaxgen::fullFrame(
                           {.sourceCall = 7, .timestamp = i, .frameType = 6, .subclass = 2})});
        }
        network.sendFromPeerTo(c.to, datagrams, 50).wait();
        ASSERT_TRUE(dump.waitForFinished(10000));
        EXPECT_EQ(dump.exitCode(), 0) << dump.readAllStandardError().toStdString();
        const QList<QByteArray> lines = dump.readAllStandardOutput().trimmed().split('\n');
        ASSERT_EQ(lines.size(), 4);
        for (int i = 1; i <= 3; ++i) {
            const QList<QByteArray> fields = lines[i].split('\t');
            ASSERT_EQ(fields.size(), 12) << lines[i].toStdString();
            EXPECT_EQ(fields[0], c.from);
            EXPECT_EQ(fields[1], c.to);
            EXPECT_EQ(fields[3], "IAX Control");
            EXPECT_EQ(fields[4], "PING");
            EXPECT_EQ(fields[5].toInt(), i - 1);
            EXPECT_EQ(fields[6], "00007");
            EXPECT_EQ(fields[11], "4569");
        }
        EXPECT_EQ(packetsInTemporaryFile(), 3);
    }
}

TEST_F(LiveDump, StopsCleanlyOnSigterm) {
    startDump({"--duration", "60"});
    sendPackets(2);
    QThread::msleep(300);
    kill(static_cast<pid_t>(dump.processId()), SIGTERM);
    ASSERT_TRUE(dump.waitForFinished(10000));
    EXPECT_EQ(dump.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(dump.exitCode(), 0);
    EXPECT_EQ(dump.readAllStandardOutput().trimmed().split('\n').size(), 3);
    EXPECT_TRUE(dump.readAllStandardError().contains("2 packets captured"));
    EXPECT_EQ(packetsInTemporaryFile(), 2); // flushed and closed
}

TEST_F(LiveDump, AReaderThatGoesAwayEndsTheRunCleanly) {
    // `| head -1` takes the header line and closes the pipe; the next write fails.
    std::remove("/tmp/quorvex.capture");
    QProcess pipeline;
    pipeline.start("sh",
                   {"-c", QString("'%1' --live --format tsv 2> /dev/stderr | head -1 > /dev/null")
                              .arg(QUORVEX_DUMP)});
    ASSERT_TRUE(pipeline.waitForStarted());
    ASSERT_TRUE(pumpUntil([] { return access("/tmp/quorvex.capture", F_OK) == 0; }));
    QThread::msleep(300);
    sendPackets(3);
    ASSERT_TRUE(pipeline.waitForFinished(10000)) << "the run did not end";
    EXPECT_EQ(pipeline.exitCode(), 0);
    const QByteArray errors = pipeline.readAllStandardError();
    EXPECT_TRUE(errors.contains("3 packets captured")) << errors.toStdString();
    EXPECT_EQ(packetsInTemporaryFile(), 3); // complete, not cut mid-record

    // Traffic that goes on: the next write fails, instead of a signal killing the run.
    std::remove("/tmp/quorvex.capture");
    pipeline.start(
        "sh",
        {"-c", QString("'%1' --live 2> /dev/stderr | head -c 10 > /dev/null").arg(QUORVEX_DUMP)});
    ASSERT_TRUE(pipeline.waitForStarted());
    ASSERT_TRUE(pumpUntil([] { return access("/tmp/quorvex.capture", F_OK) == 0; }));
    QThread::msleep(300);
    auto sending = network.sendFromPeer(
        std::vector<TestNetwork::Datagram>(300, {4569, iaxgen::fullFrame({.frameType = 6})}), 10);
    ASSERT_TRUE(pipeline.waitForFinished(10000)) << "the run did not end";
    sending.wait();
    EXPECT_EQ(pipeline.exitCode(), 0);
    const QByteArray counts = pipeline.readAllStandardError();
    const int captured = QString::fromUtf8(counts).section(' ', 0, 0).toInt();
    EXPECT_GT(captured, 0) << counts.toStdString();
    EXPECT_EQ(packetsInTemporaryFile(), captured);
}

TEST_F(LiveDump, AnInterfaceThatGoesAwayEndsTheRunWithAnErrorNamingIt) {
    startDump({"--duration", "30"});
    sendPackets(2);
    ASSERT_EQ(std::system("ip link del en0"), 0); // this thread is in the capture namespace
    ASSERT_TRUE(dump.waitForFinished(10000)) << "the run went on without its interface";
    EXPECT_EQ(dump.exitCode(), 1);
    const QByteArray errors = dump.readAllStandardError();
    EXPECT_TRUE(errors.contains("Capture failed: en0: the interface went away"))
        << errors.toStdString();
}

TEST_F(LiveDump, AFullFileSystemEndsTheRunWithAnError) {
    // A 64 KiB /tmp of its own, in a private mount namespace. The real /tmp
    // stays in view elsewhere, as the programs may be built below it.
    QTemporaryDir view("/var/tmp/quorvex-view-XXXXXX");
    ASSERT_TRUE(view.isValid());
    const QString script =
        "set -e; mount --bind /tmp \"$1\"; mount -t tmpfs -o size=64k tmpfs /tmp; "
        "dump=\"$2\"; case \"$dump\" in /tmp/*) dump=\"$1${dump#/tmp}\";; esac; "
        "exec \"$dump\" --live --format tsv --duration 30 > /dev/null";
    QProcess full;
    full.start("unshare", {"-m", "sh", "-c", script, "sh", view.path(), QUORVEX_DUMP});
    ASSERT_TRUE(full.waitForStarted());
    QThread::msleep(700);
    sendPackets(1000, 1); // about 100 KiB of packets
    ASSERT_TRUE(full.waitForFinished(10000)) << "the run went on without its file";
    EXPECT_EQ(full.exitCode(), 1);
    const QByteArray errors = full.readAllStandardError();
    EXPECT_TRUE(errors.contains("Capture failed: /tmp/quorvex.capture: No space left on device"))
        << errors.toStdString();
}

TEST_F(LiveDump, ALiveRunStopsCapturingAtTheMemoryLimit) {
    // Room for one block of 1,024 records.
    startDump({"--memory-limit", "100K", "--duration", "30"});
    sendPackets(1100, 1);
    ASSERT_TRUE(dump.waitForFinished(10000)) << "the run went on past its memory limit";
    EXPECT_EQ(dump.exitCode(), 1);
    const QByteArray errors = dump.readAllStandardError();
    EXPECT_TRUE(errors.contains("Capture failed: memory limit reached after 1024 frames"))
        << errors.toStdString();
    EXPECT_EQ(dump.readAllStandardOutput().trimmed().split('\n').size(), 1025);
    EXPECT_EQ(packetsInTemporaryFile(), 1024); // intact, and the same packets
}

namespace {

// The capability set lines (CapPrm, CapEff) of a /proc status text.
void addCapabilitySets(const std::filesystem::path& status, std::vector<std::string>& sets) {
    std::ifstream in(status);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("CapPrm:", 0) == 0 || line.rfind("CapEff:", 0) == 0) {
            sets.push_back(line);
        }
    }
}

// Those of every thread of a process.
std::vector<std::string> capabilitySets(qint64 pid) {
    std::vector<std::string> sets;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        addCapabilitySets(task.path() / "status", sets);
    }
    return sets;
}

bool isEmptySet(const std::string& line) {
    return std::stoull(line.substr(line.find(':') + 1), nullptr, 16) == 0;
}

bool haveCapabilityTools() {
    return access("/usr/sbin/setcap", X_OK) == 0 && access("/usr/bin/setpriv", X_OK) == 0;
}

// Runs `program` as nobody, with `extra` added to the environment.
bool startAsNobody(QProcess& process, const QString& program, const QStringList& arguments,
                   const QStringList& extra = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ASAN_OPTIONS", "detect_leaks=0"); // no ptrace for LSan there
    for (const QString& pair : extra) {
        environment.insert(pair.section('=', 0, 0), pair.section('=', 1));
    }
    process.setProcessEnvironment(environment);
    process.start("setpriv",
                  QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} +
                      arguments);
    return process.waitForStarted();
}

} // namespace

// What the README recommends instead of running as root: only the capture
// helper gets CAP_NET_RAW and CAP_NET_ADMIN, as file capabilities, and an
// ordinary user runs the programs. No process that links Qt holds any
// capability: not quorvex-dump, not the window, not a plugin that the
// environment makes Qt load into the window.
TEST_F(LiveDump, OnlyTheCaptureHelperHoldsCapabilities) {
    if (!haveCapabilityTools()) {
        GTEST_SKIP() << "needs setcap and setpriv (libcap2-bin, util-linux)";
    }
    QTemporaryDir dir;
    const auto everyoneMayRead =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), everyoneMayRead));
    for (const char* folder : {"capable", "plain"}) {
        ASSERT_TRUE(QDir(dir.path()).mkdir(folder));
        ASSERT_TRUE(QFile::setPermissions(dir.filePath(folder), everyoneMayRead));
        for (const QString& program :
             {QString(QUORVEX_DUMP), QString(QUORVEX_WINDOW), QString(QUORVEX_CAPTURE_HELPER)}) {
            ASSERT_TRUE(
                QFile::copy(program, dir.filePath(folder) + "/" + QFileInfo(program).fileName()));
        }
    }
    const QString helper = dir.filePath("capable/quorvex-capture");
    if (std::system(("setcap cap_net_raw,cap_net_admin+p " + helper.toStdString()).c_str()) != 0) {
        GTEST_SKIP() << "the file system here does not keep file capabilities";
    }

    std::remove("/tmp/quorvex.capture"); // a file of root's could not be replaced by nobody
    QProcess capture;
    ASSERT_TRUE(startAsNobody(capture, dir.filePath("capable/quorvex-dump"),
                              {"--live", "--format", "tsv", "--count", "2"}));
    ASSERT_TRUE(pumpUntil([] { return access("/tmp/quorvex.capture", F_OK) == 0; }));
    QThread::msleep(300);
    for (const std::string& set : capabilitySets(capture.processId())) {
        EXPECT_TRUE(isEmptySet(set)) << "quorvex-dump holds " << set;
    }
    sendPackets(3);
    ASSERT_TRUE(capture.waitForFinished(10000));
    EXPECT_EQ(capture.exitCode(), 0) << capture.readAllStandardError().toStdString();
    EXPECT_EQ(capture.readAllStandardOutput().trimmed().split('\n').size(), 3);
    struct stat info {};
    ASSERT_EQ(stat("/tmp/quorvex.capture", &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // The window, with a hostile plugin the environment names, captures too;
    // the plugin finds no capability to use.
    std::remove("/tmp/quorvex.capture");
    const QString report = dir.filePath("hostile-report");
    ASSERT_TRUE(QFile::setPermissions(dir.path(), everyoneMayRead | QFile::WriteOther));
    QProcess window;
    ASSERT_TRUE(startAsNobody(
        window, dir.filePath("capable/quorvex"), {"--capture"},
        {"QT_QPA_PLATFORM=offscreen", "QT_PLUGIN_PATH=" QUORVEX_HOSTILE_PLUGINS,
         "QT_STYLE_OVERRIDE=hostile", "QUORVEX_HOSTILE_REPORT=" + report, "HOME=" + dir.path()}));
    ASSERT_TRUE(pumpUntil([] { return access("/tmp/quorvex.capture", F_OK) == 0; }))
        << window.readAllStandardError().toStdString();
    QThread::msleep(300);
    sendPackets(2);
    kill(static_cast<pid_t>(window.processId()), SIGTERM);
    ASSERT_TRUE(window.waitForFinished(10000));
    EXPECT_EQ(packetsInTemporaryFile(), 2);
    std::vector<std::string> sets;
    addCapabilitySets(report.toStdString(), sets);
    ASSERT_EQ(sets.size(), 2u) << "the plugin was not loaded";
    for (const std::string& set : sets) {
        EXPECT_TRUE(isEmptySet(set)) << "the plugin found " << set;
    }

    // Without the helper's capabilities the open fails with libpcap's own message.
    std::remove("/tmp/quorvex.capture");
    QProcess refused;
    ASSERT_TRUE(
        startAsNobody(refused, dir.filePath("plain/quorvex-dump"), {"--live", "--duration", "5"}));
    ASSERT_TRUE(refused.waitForFinished(10000));
    EXPECT_EQ(refused.exitCode(), 1);
    const QByteArray errors = refused.readAllStandardError();
    EXPECT_TRUE(errors.contains("Capture failed: en0: You don't have permission"))
        << errors.toStdString();
}

// A file that cannot grow (a full disk; here a file size limit) ends the run,
// and the records printed are exactly the packets the file holds whole.
TEST_F(LiveDump, AFullDiskKeepsTheListAndTheFileInStep) {
    std::remove("/tmp/quorvex.capture");
    // 64 KiB of file: the write past it fails with EFBIG instead of a signal.
    dump.start("bash", {"-c", "ulimit -f 64; trap '' XFSZ; exec \"$0\" --live --format tsv",
                        QUORVEX_DUMP});
    ASSERT_TRUE(dump.waitForStarted());
    ASSERT_TRUE(pumpUntil([] { return access("/tmp/quorvex.capture", F_OK) == 0; }));
    QThread::msleep(300);
    std::vector<TestNetwork::Datagram> datagrams;
    const iaxgen::Bytes voice(160, 0x55);
    for (std::uint32_t i = 0; i < 1000; ++i) {
        datagrams.push_back({4569, iaxgen::miniFrame(3, static_cast<std::uint16_t>(i), voice)});
    }
    network.sendFromPeer(datagrams, 1).wait();
    ASSERT_TRUE(dump.waitForFinished(20000));
    EXPECT_EQ(dump.exitCode(), 1);
    const QByteArray errors = dump.readAllStandardError();
    EXPECT_TRUE(errors.contains("Capture failed: /tmp/quorvex.capture: File too large"))
        << errors.toStdString();
    const int printed = static_cast<int>(dump.readAllStandardOutput().trimmed().split('\n').size()) - 1;
    EXPECT_GT(printed, 100);
    EXPECT_LT(printed, 1000);
    EXPECT_EQ(packetsInTemporaryFile(), printed); // whole, and readable to its end
    EXPECT_TRUE(errors.contains(QByteArray::number(printed) + " packets captured"))
        << errors.toStdString();
}

// A live run tells the collector and the store about a call while it goes
// on (PERIODIC reports) and as soon as it has ended (FINAL report, log, rows),
// not only when the run stops.
TEST_F(LiveDump, ReportsAndStoresACallAsItGoesAndEnds) {
    if (!ScratchClickHouse::available()) {
        GTEST_SKIP() << "no clickhouse-server: scripts/install-deps.sh test installs it";
    }
    QTemporaryDir dir;
    ScratchClickHouse server(dir.filePath("clickhouse").toStdString());
    ASSERT_TRUE(server.start());
    // The collector, on the capture side's loopback like the run.
    const int collector = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(collector, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ::getsockname(collector, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<hep::Message> received;
    const auto collect = [&] {
        std::vector<std::uint8_t> buffer(65536);
        for (ssize_t got; (got = ::recv(collector, buffer.data(), buffer.size(), 0)) > 0;) {
            received.push_back(hep::decode({buffer.data(), static_cast<std::size_t>(got)}).message);
        }
    };
    const auto reports = [&](const char* type) {
        return std::count_if(received.begin(), received.end(), [&](const hep::Message& m) {
            const std::string json(m.payload.begin(), m.payload.end());
            return m.protocolType == 34 && json.find(type) != std::string::npos;
        });
    };
    // A spool of the test's own: rows an earlier run left must not come in.
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_STATE_HOME", dir.filePath("state"));
    dump.setProcessEnvironment(environment);
    startDump({"--hep", QString("udp:127.0.0.1:%1").arg(ntohs(address.sin_port)),
               "--hep-report-interval", "1", "--store",
               QString::fromStdString(server.url("live"))});

    std::vector<TestNetwork::Datagram> call{
        {4569, iaxgen::fullFrame({.sourceCall = 5, .frameType = 6, .subclass = 1})}};
    const std::vector<std::uint8_t> voice(160, 0x55);
    call.push_back(
        {4569,
         iaxgen::fullFrame(
             {.sourceCall = 5, .timestamp = 20, .outSequence = 1, .frameType = 2, .subclass = 4},
             voice)});
    for (std::uint16_t i = 2; i < 150; ++i) {
        call.push_back({4569, iaxgen::miniFrame(5, static_cast<std::uint16_t>(i * 20), voice)});
    }
    // The hang-up from the same port (one batch), then a packet after it
    // that sends the worker's block on.
    call.push_back({4569, iaxgen::fullFrame({.sourceCall = 5,
                                             .timestamp = 3100,
                                             .outSequence = 2,
                                             .frameType = 6,
                                             .subclass = 5})});
    network.sendFromPeer(call, 20).wait();
    collect();
    EXPECT_GE(reports("PERIODIC"), 1) << "no report while the call went on";
    QThread::msleep(1200);
    sendPackets(1);
    // The tables are inserted one after the other: the streams come last.
    ASSERT_TRUE(
        pumpUntil([&] { return server.ask("SELECT count() FROM live.streams") == "1\n"; }, 15000))
        << server.ask("SELECT count() FROM live.calls") << dump.readAllStandardError().toStdString()
        << dump.readAllStandardOutput().toStdString();
    collect();
    EXPECT_EQ(reports("FINAL"), 1);
    EXPECT_EQ(std::count_if(received.begin(), received.end(),
                            [](const hep::Message& m) { return m.protocolType == 100; }),
              1);
    // Named after the interface the run opened (en0 here, the default).
    EXPECT_EQ(server.ask("SELECT capture FROM live.calls"), "live:en0\n");

    dump.terminate();
    ASSERT_TRUE(dump.waitForFinished(10000));
    EXPECT_EQ(dump.exitCode(), 0);
    const QByteArray err = dump.readAllStandardError();
    EXPECT_TRUE(err.contains(" dropped")) << err.toStdString();
    // Every packet went, with the bytes that were sent: the NEW, the voice
    // and the HANGUP of the call, and the PING.
    QThread::msleep(200);
    collect();
    std::size_t frames = 0;
    for (const hep::Message& m : received) {
        if (m.protocolType == 10) {
            EXPECT_EQ(m.payload, frames < call.size() ? call[frames].payload : m.payload);
            ++frames;
        }
    }
    EXPECT_EQ(frames, call.size() + 1);
    // The call, its stream and its problem ("call never answered").
    EXPECT_TRUE(err.contains("Store: 3 rows into")) << err.toStdString();
    ::close(collector);
}

// -w OUT -b ...: the packets go to a ring of files, a new one at the size
// given, the oldest removed beyond the number kept, each a whole capture.
TEST_F(LiveDump, WritesARingOfFilesThatKeepsTheNewest) {
    QTemporaryDir dir;
    const QString base = dir.filePath("ring.pcap");
    std::remove("/tmp/quorvex.capture");
    // With the feed and the store an agent runs it with (both away here).
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_STATE_HOME", dir.filePath("state"));
    dump.setProcessEnvironment(environment);
    dump.start(QUORVEX_DUMP,
               {"--live", "--format", "tsv", "-w", base, "-b", "filesize:2", "-b", "files:3",
                "--hep", "udp:127.0.0.1:9", "--store", "clickhouse://127.0.0.1:9/away"});
    ASSERT_TRUE(dump.waitForStarted());
    ASSERT_TRUE(pumpUntil([&] { return !QDir(dir.path()).entryList(QDir::Files).isEmpty(); }));
    QThread::msleep(300);
    sendPackets(200, 10);
    QThread::msleep(1200);
    sendPackets(1);
    QThread::msleep(1200);
    dump.terminate();
    ASSERT_TRUE(dump.waitForFinished(10000));
    EXPECT_EQ(dump.exitCode(), 0) << dump.readAllStandardError().toStdString();
    EXPECT_EQ(dump.readAllStandardOutput().count('\n'), 1 + 201);
    EXPECT_NE(access("/tmp/quorvex.capture", F_OK), 0) << "a ring run wrote the temporary file";

    const QStringList files = QDir(dir.path()).entryList({"ring_*.pcap"}, QDir::Files, QDir::Name);
    EXPECT_TRUE(QDir(dir.filePath("state/quorvex/spool/away")).exists())
        << QDir(dir.path()).entryList().join(' ').toStdString()
        << dump.readAllStandardError().toStdString();
    ASSERT_EQ(files.size(), 3) << files.join(' ').toStdString();
    int previousNumber = 0;
    std::uint32_t previousTimestamp = 0;
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        const int number = name.section('_', 1, 1).toInt();
        EXPECT_TRUE(previousNumber == 0 || number == previousNumber + 1);
        previousNumber = number;
        std::string error;
        const auto packets = readCapturedPackets(dir.filePath(name).toStdString(), &error);
        ASSERT_TRUE(error.empty()) << error;
        ASSERT_FALSE(packets.empty());
        // Replaced once past the size, between two blocks of packets.
        if (name != files.back()) {
            EXPECT_GE(QFileInfo(dir.filePath(name)).size(), 2000);
        }
        // The PINGs' timestamps go on from file to file.
        for (const auto& packet : packets) {
            // Ethernet, IPv4 without options and UDP: the full frame's
            // timestamp is at bytes 4 to 7 of the payload.
            ASSERT_GE(packet.size(), 42u + 12u);
            const std::uint32_t timestamp = (std::uint32_t{packet[46]} << 24) |
                                            (std::uint32_t{packet[47]} << 16) |
                                            (std::uint32_t{packet[48]} << 8) | packet[49];
            EXPECT_TRUE(previousTimestamp == 0 || timestamp == previousTimestamp + 1 ||
                        timestamp == 0);
            previousTimestamp = timestamp;
        }
    }
    EXPECT_GE(previousNumber, 4) << "the oldest were not removed";
}
