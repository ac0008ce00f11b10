// Live captures on a veth pair in network namespaces made by the test. They
// need root; elsewhere they skip themselves and say why.
#include "app/KvController.h"
#include "app/KvIAXCapture.h"
#include "capture/CapturePermission.h"
#include "capture/KvPCAPCapture.h"
#include "capture/LiveCaptureFile.h"
#include "capture/LiveRunGate.h"
#include "capture/QueuedHandoff.h"
#include "capture/WorkerThreads.h"
#include "samples/CaptureFileReader.h"
#include "samples/IaxPacketBuilder.h"

#include "tests/support/TestNetwork.h"
#include "tests/support/CaptureFakes.h"
#include "tests/support/ControllerHarness.h"
#include "tests/support/EventLoop.h"
#include "tests/support/RecordingLogSink.h"

#include <pcap/pcap.h>
#include <sys/stat.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
const char* const temporaryFile = KvPCAPCapture::temporaryCaptureFile;

// The real permission, with a record of its steps and a check that two runs
// never hold it at once.
class RecordingPermission final : public CapturePermission {
public:
    explicit RecordingPermission(CapturePermission& real) : real_(real) {}
    void widen() override {
        record("widen");
        overlapped = overlapped || widened_;
        widened_ = true;
        real_.widen();
    }
    void interfaceOpened() override {
        record("opened");
        real_.interfaceOpened();
    }
    void narrow() override {
        record("narrow");
        widened_ = false;
        real_.narrow();
    }
    std::vector<std::string> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    long count(const std::string& event) {
        const auto all = events();
        return std::count(all.begin(), all.end(), event);
    }
    std::atomic<bool> overlapped{false};

private:
    void record(const char* event) {
        std::lock_guard lock(mutex_);
        events_.emplace_back(event);
    }
    CapturePermission& real_;
    std::mutex mutex_;
    std::vector<std::string> events_;
    std::atomic<bool> widened_{false};
};

Bytes iaxPayload(std::uint32_t timestamp) {
    return iaxgen::fullFrame({.sourceCall = 7,
                              .destinationCall = 9,
                              .timestamp = timestamp,
                              .frameType = 6,
                              .subclass = 2});
}

std::vector<Bytes> packetsInFile(const char* path) {
    std::string error;
    auto packets = readCapturedPackets(path, &error);
    EXPECT_EQ(error, "");
    return packets;
}

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class LiveCapture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!network.failure().empty()) {
            GTEST_SKIP() << network.failure();
        }
        ASSERT_TRUE(network.enterCaptureSide());
        services.handoff = &handoff;
        services.alert = &alert;
        services.threads = &threads;
        services.unknownElementDump = &dump;
        services.liveGate = &gate;
        services.permission = &permission;
        services.liveSettings = &settings;
        services.liveFiles = &liveFiles;
        settings.helperPath = QUORVEX_CAPTURE_HELPER; // the tests are not beside it
    }
    void TearDown() override {
        threads.waitForAll([] { QCoreApplication::processEvents(); });
    }

    std::shared_ptr<KvIAXCapture> newCapture() {
        auto capture = KvIAXCapture::create(services);
        QObject::connect(capture.get(), &KvIAXCapture::runEnded, [this] { ++runsEnded; });
        return capture;
    }
    // Starts a live run and waits until it reads packets.
    void start(KvIAXCapture& capture) {
        const long opened = permission.count("opened");
        capture.startCapture();
        ASSERT_TRUE(pumpUntil([&] { return permission.count("opened") > opened; }));
        pumpFor(300); // the filter and the file come right after the open
    }
    void stop(KvIAXCapture& capture) {
        const int ended = runsEnded;
        capture.stopCapture();
        ASSERT_TRUE(pumpUntil([&] { return runsEnded > ended; }));
    }
    void send(std::vector<TestNetwork::Datagram> datagrams, int gapMs = 0) {
        auto sent = network.sendFromPeer(std::move(datagrams), gapMs);
        ASSERT_TRUE(pumpUntil(
            [&] { return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        pumpFor(300); // let the last ones through the read time-out
    }
    static void pumpFor(int ms) {
        QElapsedTimer timer;
        timer.start();
        pumpUntil([&] { return timer.elapsed() >= ms; });
    }
    static std::vector<std::string> timestamps(const KvIAXCapture& capture) {
        std::vector<std::string> values;
        for (const auto& frame : capture.iaxFrames()) {
            values.push_back(frame->properties().text(PropertyKey::timestamp));
        }
        return values;
    }

    TestNetwork network;
    RecordingLogSink log;
    QueuedHandoff handoff;
    RecordingAlert alert;
    WorkerThreads threads;
    std::ostringstream dump;
    LiveRunGate gate;
    std::unique_ptr<CapturePermission> realPermission = makeCapturePermission();
    RecordingPermission permission{*realPermission};
    LiveCaptureSettings settings; // "en0", the capture side of the veth pair
    LiveFileRecord liveFiles;
    CaptureServices services;
    int runsEnded = 0;
};

} // namespace

TEST_F(LiveCapture, FilteredPacketsArriveInBatchesAndInTheFileByteForByte) {
    auto capture = newCapture();
    std::vector<qint64> batchTimes; // milliseconds
    QElapsedTimer clock;
    clock.start();
    QObject::connect(capture.get(), &KvIAXCapture::framesAppended, [&](qsizetype, qsizetype count) {
        if (count > 0) {
            batchTimes.push_back(clock.elapsed());
        }
    });
    start(*capture);
    std::vector<TestNetwork::Datagram> datagrams;
    for (std::uint32_t i = 0; i < 25; ++i) {
        datagrams.push_back({4569, iaxPayload(i)});
        if (i % 3 == 0) {
            datagrams.push_back({5060, iaxPayload(1000 + i)}); // not "port 4569"
        }
    }
    send(datagrams, 100);
    stop(*capture);

    std::vector<std::string> expected;
    for (int i = 0; i < 25; ++i) {
        expected.push_back(PropertyValue::padded5(static_cast<std::uint32_t>(i)).text());
    }
    EXPECT_EQ(timestamps(*capture), expected);

    const auto packets = packetsInFile(temporaryFile);
    ASSERT_EQ(packets.size(), 25u);
    for (std::uint32_t i = 0; i < 25; ++i) {
        const Bytes& packet = packets[i];
        ASSERT_GE(packet.size(), 42u);
        EXPECT_EQ(Bytes(packet.begin() + 42, packet.end()), iaxPayload(i)) << i;
    }
    EXPECT_EQ(capture->lastRunSummary().packetsRead, 25u);

    // Batches about a second apart (the worker's clock decides; the main
    // thread sees each batch a little later, by however long it took to get
    // there), not one delivery per packet (100 ms apart); the last at the stop.
    ASSERT_GE(batchTimes.size(), 3u);
    for (std::size_t i = 1; i + 1 < batchTimes.size(); ++i) {
        EXPECT_GE(batchTimes[i] - batchTimes[i - 1], 700) << i;
    }
    EXPECT_EQ(permission.events(), (std::vector<std::string>{"widen", "opened", "narrow"}));
    EXPECT_EQ(log.count("Capture has been stopped"), 1);
}

TEST_F(LiveCapture, ABurstThenSilenceIsDeliveredWithoutWaitingForTheNextPacket) {
    auto capture = newCapture();
    start(*capture);
    std::vector<TestNetwork::Datagram> burst;
    for (std::uint32_t i = 0; i < 20; ++i) {
        burst.push_back({4569, iaxPayload(i)});
    }
    send(burst);
    // Nothing more arrives; a read time-out more than a second after the last
    // delivery hands the burst over.
    EXPECT_TRUE(pumpUntil([&] { return capture->iaxFrames().size() == 20; }, 3000));
    stop(*capture);
    EXPECT_EQ(capture->iaxFrames().size(), 20u);
}

TEST_F(LiveCapture, StopWithNoTrafficEndsTheRunAtTheNextPoll) {
    auto capture = newCapture();
    start(*capture);
    QElapsedTimer timer;
    timer.start();
    stop(*capture);
    // The run polls the flag at least every 100 ms; a generous bound catches a
    // read that never times out.
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_TRUE(packetsInFile(temporaryFile).empty());
    EXPECT_TRUE(capture->iaxFrames().empty());
    EXPECT_EQ(permission.count("narrow"), 1);
}

TEST_F(LiveCapture, AFilterThatDoesNotCompileFailsAndLeavesTheLastFile) {
    auto capture = newCapture();
    start(*capture);
    send({{4569, iaxPayload(1)}, {4569, iaxPayload(2)}});
    stop(*capture);
    const std::string firstFile = fileBytes(temporaryFile);
    ASSERT_EQ(packetsInFile(temporaryFile).size(), 2u);

    capture->setValueForKey("filter", QStringLiteral("port 4569 andd udp"));
    const int ended = runsEnded;
    capture->startCapture();
    ASSERT_TRUE(pumpUntil([&] { return runsEnded > ended; }));
    EXPECT_EQ(capture->valueForKey("status").toString(), "Error");
    EXPECT_EQ(capture->valueForKey("button").toString(), "Start");
    ASSERT_EQ(alert.messages.size(), 1u);
    EXPECT_NE(alert.messages[0].find("syntax error"), std::string::npos) << alert.messages[0];
    EXPECT_TRUE(capture->isInProgress()); // an error changes no flag
    EXPECT_EQ(permission.events(),
              (std::vector<std::string>{"widen", "opened", "narrow", "widen", "opened", "narrow"}));
    EXPECT_EQ(fileBytes(temporaryFile), firstFile);
}

TEST_F(LiveCapture, AnInterfaceThatCannotBeOpenedIsReported) {
    settings.interfaceName = "qvxnosuch0";
    auto capture = newCapture();
    capture->startCapture();
    ASSERT_TRUE(pumpUntil([&] { return runsEnded == 1; }));
    ASSERT_EQ(alert.messages.size(), 1u);
    EXPECT_NE(alert.messages[0].find("qvxnosuch0"), std::string::npos) << alert.messages[0];
    EXPECT_EQ(capture->valueForKey("status").toString(), "Error");
    EXPECT_EQ(permission.events(), (std::vector<std::string>{"widen", "narrow"}));
}

TEST_F(LiveCapture, TwoRunsInARowLeaveTheSecondRunsPacketsOnly) {
    auto capture = newCapture();
    start(*capture);
    send({{4569, iaxPayload(100)}, {4569, iaxPayload(101)}, {4569, iaxPayload(102)}});
    stop(*capture);
    start(*capture);
    send({{4569, iaxPayload(200)}, {4569, iaxPayload(201)}});
    stop(*capture);

    const auto packets = packetsInFile(temporaryFile);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(Bytes(packets[0].begin() + 42, packets[0].end()), iaxPayload(200));
    // Both runs append to the one frame list.
    EXPECT_EQ(timestamps(*capture),
              (std::vector<std::string>{"00100", "00101", "00102", "00200", "00201"}));
    EXPECT_FALSE(capture->hasCapturedFrames() && capture->isInProgress());
}

TEST_F(LiveCapture, AStartBeforeTheOldWorkerSawTheStopLeavesOneRun) {
    auto capture = newCapture();
    start(*capture);
    capture->stopCapture();
    capture->startCapture(); // the first worker has not polled the flag yet
    ASSERT_TRUE(pumpUntil([&] { return runsEnded == 1 && permission.count("opened") == 2; }));
    pumpFor(300);
    send({{4569, iaxPayload(300)}, {4569, iaxPayload(301)}, {4569, iaxPayload(302)}});
    stop(*capture);

    EXPECT_EQ(timestamps(*capture), (std::vector<std::string>{"00300", "00301", "00302"}));
    EXPECT_EQ(packetsInFile(temporaryFile).size(), 3u);
    EXPECT_FALSE(permission.overlapped);
}

TEST_F(LiveCapture, ALinkPlantedAtTheTemporaryPathIsNotFollowed) {
    const fs::path victim =
        fs::temp_directory_path() / ("quorvex-victim-" + std::to_string(getpid()));
    { std::ofstream(victim) << "precious"; }
    fs::remove(temporaryFile);
    fs::create_symlink(victim, temporaryFile);

    auto capture = newCapture();
    start(*capture);
    send({{4569, iaxPayload(7)}});
    stop(*capture);

    EXPECT_EQ(fileBytes(victim), "precious");
    struct stat info {};
    ASSERT_EQ(lstat(temporaryFile, &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(packetsInFile(temporaryFile).size(), 1u);
    fs::remove(victim);
}

TEST_F(LiveCapture, OpenDuringALiveCaptureStopsItAndSaveMovesItsFile) {
    ScriptedPanels panels;
    LoggedBeep beep{log};
    ControllerServices controllerServices;
    controllerServices.captures = services;
    controllerServices.panels = &panels;
    controllerServices.beep = &beep;
    KvController controller(controllerServices);
    std::weak_ptr<KvIAXCapture> live = controller.iaxCaptures().first();
    QObject::connect(live.lock().get(), &KvIAXCapture::runEnded, [this] { ++runsEnded; });

    const long opened = permission.count("opened");
    controller.stopCapture(live.lock().get()); // the row's button: start
    ASSERT_TRUE(pumpUntil([&] { return permission.count("opened") > opened; }));
    pumpFor(300);
    send({{4569, iaxPayload(40)}, {4569, iaxPayload(41)}});

    controller.openDocumentWithContentsOfFile(QUORVEX_SAMPLES "/sample-call.pcap");
    // The live capture left the list, stopped, and ends by itself.
    ASSERT_TRUE(pumpUntil([&] { return runsEnded == 1; }));
    ASSERT_TRUE(pumpUntil([&] { return threads.running() == 0; }));
    pumpFor(50);
    EXPECT_TRUE(live.expired()); // destroyed once its worker let go
    EXPECT_EQ(permission.events().back(), "narrow");
    EXPECT_EQ(log.count("Capture has been stopped"), 2); // the live run, then the load
    EXPECT_EQ(packetsInFile(temporaryFile).size(), 2u);

    QTemporaryDir dir;
    panels.answers.push_back(dir.filePath("call"));
    controller.saveDocument(nullptr);
    EXPECT_EQ(packetsInFile(QFile::encodeName(dir.filePath("call.pcap")).constData()).size(), 2u);
    EXPECT_EQ(beep.count, 0);
}

// Anyone may make a folder at the fixed path; the run then writes to a
// private file of the user's, says where, and Save finds it there.
TEST_F(LiveCapture, AFolderAtTheTemporaryPathSendsTheRunToAPrivateFile) {
    fs::remove_all(temporaryFile);
    fs::create_directory(temporaryFile);
    auto capture = newCapture();
    start(*capture);
    send({{4569, iaxPayload(1)}, {4569, iaxPayload(2)}});
    stop(*capture);
    fs::remove_all(temporaryFile);

    EXPECT_TRUE(alert.messages.empty());
    const std::string path = capture->valueForKey("captureFile").toString().toStdString();
    ASSERT_FALSE(path.empty());
    EXPECT_NE(path, temporaryFile);
    EXPECT_EQ(log.count("Capture file: " + path), 1);
    EXPECT_EQ(packetsInFile(path.c_str()).size(), 2u);
    struct stat folder {};
    ASSERT_EQ(stat(fs::path(path).parent_path().c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 077, 0u); // the user's alone
    EXPECT_EQ(liveFiles.movablePath(), std::optional(path));
    fs::remove(path);
}
