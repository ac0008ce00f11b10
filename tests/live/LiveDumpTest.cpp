// quorvex-dump --live, run as a user runs it, inside the capture namespace.
#include "samples/CaptureFileReader.h"
#include "samples/IaxPacketBuilder.h"

#include "tests/live/TestNetwork.h"
#include "tests/support/EventLoop.h"

#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
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
    void sendPackets(int count) {
        std::vector<TestNetwork::Datagram> datagrams;
        for (int i = 0; i < count; ++i) {
            datagrams.push_back(
                {4569,
                 iaxgen::fullFrame(
                     {.timestamp = static_cast<std::uint32_t>(i), .frameType = 6, .subclass = 2})});
        }
        network.sendFromPeer(datagrams, 50).wait();
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
