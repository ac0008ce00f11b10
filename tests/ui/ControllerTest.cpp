#include "app/FileMove.h"
#include "app/KvController.h"
#include "capturefile/CaptureFileWriter.h"
#include "samples/Scenarios.h"

#include "tests/support/ControllerHarness.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <csignal>
#include <thread>

namespace {

using Texts = std::vector<std::string>;
const QString temporaryFile = KvController::temporaryCaptureFile;

QString writeSampleCapture(const QString& path, int* count = nullptr) {
    CaptureFileWriter writer(path.toStdString());
    int packets = 0;
    scenarios::sampleCall([&](const iaxgen::Bytes& p, std::int64_t us) {
        writer.write(p, us);
        ++packets;
    });
    if (count != nullptr) {
        *count = packets;
    }
    return path;
}

// As a live run of this process leaves it: the file, and the record of it.
void writeLiveRunFile(ControllerHarness& h, const QString& path) {
    writeSampleCapture(path);
    struct stat info {};
    ASSERT_EQ(stat(path.toLocal8Bit().constData(), &info), 0);
    h.liveFiles.remember(path.toStdString(), info.st_dev, info.st_ino);
    h.liveFiles.finished();
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class Controller : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(temporaryFile); }
    void TearDown() override { QFile::remove(temporaryFile); }

    static QString rowText(const KvIAXCapture& capture) {
        return capture.valueForKey("status").toString() + "/" +
               capture.valueForKey("button").toString();
    }

    ControllerHarness h;
    std::unique_ptr<KvController> controller = h.makeController();
    QTemporaryDir dir;
};

} // namespace

TEST_F(Controller, StartsWithOneIdleCaptureAndLogsInOrder) {
    controller->awakeFromNib();
    ASSERT_EQ(controller->iaxCaptures().size(), 1);
    const KvIAXCapture& capture = *controller->iaxCaptures().first();
    EXPECT_EQ(rowText(capture), "Idle/Start");
    EXPECT_EQ(capture.valueForKey("filter").toString(), "port 4569");
    EXPECT_EQ(h.log.lines(), (Texts{"In KvIAXCapture init", "KvController is awaking from NIB"}));
}

TEST_F(Controller, ToggleWithoutACaptureDoesNothing) {
    h.log.clear();
    controller->stopCapture(nullptr);
    EXPECT_TRUE(h.log.lines().empty());
    EXPECT_EQ(rowText(*controller->iaxCaptures().first()), "Idle/Start");
}

TEST_F(Controller, ToggleStartsAndStopsByTheFlagAlone) {
    KvIAXCapture& capture = *controller->iaxCaptures().first();
    h.log.clear();
    // Held by the test, the gate keeps the started worker from opening anything.
    h.gate.enter();
    controller->stopCapture(&capture);
    EXPECT_EQ(rowText(capture), "Capturing/Stop");
    EXPECT_TRUE(capture.isInProgress());
    EXPECT_EQ(h.log.lines(),
              Texts{"In stopCapture, argument = " + capture.description().toStdString()});
    controller->stopCapture(&capture);
    EXPECT_EQ(rowText(capture), "Idle/Start");
    EXPECT_FALSE(capture.isInProgress());
    h.gate.leave();
    ASSERT_TRUE(pumpUntil([&] { return h.load.threads.running() == 0; }));
    EXPECT_TRUE(h.load.alert.messages.empty()); // the stopped run never started
}

TEST_F(Controller, AfterAFailedRunTheFirstPressOnlyStops) {
    h.settings.interfaceName = "qvxnosuch0";
    KvIAXCapture& capture = *controller->iaxCaptures().first();
    bool ended = false;
    QObject::connect(&capture, &KvIAXCapture::runEnded, [&] { ended = true; });
    controller->stopCapture(&capture);
    ASSERT_TRUE(pumpUntil([&] { return ended; }));
    EXPECT_EQ(rowText(capture), "Error/Start");
    ASSERT_EQ(h.load.alert.messages.size(), 1u);
    // The failed run's thread ends just after it told its capture.
    ASSERT_TRUE(pumpUntil([&] { return h.load.threads.running() == 0; }));

    controller->stopCapture(&capture); // only stops
    EXPECT_EQ(rowText(capture), "Idle/Start");
    EXPECT_EQ(h.load.threads.running(), 0);
    ended = false;
    controller->stopCapture(&capture); // starts again
    EXPECT_EQ(rowText(capture), "Capturing/Stop");
    ASSERT_TRUE(pumpUntil([&] { return ended; }));
}

TEST_F(Controller, OpenReplacesTheListWithOneCaptureThatLoadsTheFile) {
    int packets = 0;
    const QString file = writeSampleCapture(dir.filePath("call.pcap"), &packets);
    const KvIAXCapture* before = controller->iaxCaptures().first().get();
    h.panels.answers.push_back(file);
    h.log.clear();
    controller->openDocument(nullptr);

    ASSERT_EQ(controller->iaxCaptures().size(), 1);
    const auto capture = controller->iaxCaptures().first();
    EXPECT_NE(capture.get(), before);
    EXPECT_NE(capture->valueForKey("title"),
              QVariant(QString::asprintf("N %p", static_cast<const void*>(before))));
    const auto lines = h.log.linesWithout({"In KvIAXCapture init", "In IAXCapture dealloc"});
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "OK button, filename is " + file.toStdString());
    EXPECT_EQ(lines[1], "Loading capture");
    ASSERT_TRUE(pumpUntil([&] { return h.load.threads.running() == 0; }));
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(capture->iaxFrames().size(), static_cast<std::size_t>(packets));
    EXPECT_EQ(rowText(*capture), "Idle/Start");

    // A loaded capture still counts as running: the first press only stops it.
    EXPECT_TRUE(capture->isInProgress());
    controller->stopCapture(capture.get());
    EXPECT_EQ(rowText(*capture), "Idle/Start");
    EXPECT_FALSE(capture->isInProgress());
    EXPECT_TRUE(capture->hasCapturedFrames());
    EXPECT_EQ(h.load.threads.running(), 0);
}

TEST_F(Controller, OpenCancelledKeepsTheVeryListAndLogsNothing) {
    const CaptureList* list = &controller->iaxCaptures();
    h.log.clear();
    controller->openDocument(nullptr);
    EXPECT_EQ(&controller->iaxCaptures(), list);
    EXPECT_TRUE(h.log.lines().empty());
}

TEST_F(Controller, SaveMovesTheTemporaryFileOnceAndNeverReplaces) {
    // Nothing to save yet.
    h.panels.answers.push_back(dir.filePath("first"));
    controller->saveDocument(nullptr);
    EXPECT_EQ(h.log.linesWithout({"In KvIAXCapture init"}),
              (Texts{"In save document", "Move failed", "<beep>"}));
    EXPECT_EQ(h.panels.saveFolder, QDir::homePath());
    EXPECT_EQ(h.panels.saveName, "");
    EXPECT_EQ(h.panels.saveType, "pcap");

    // A name without the extension gets it.
    writeLiveRunFile(h, temporaryFile);
    const QByteArray captured = contents(temporaryFile);
    h.panels.answers.push_back(dir.filePath("first"));
    controller->saveDocument(nullptr);
    EXPECT_EQ(contents(dir.filePath("first.pcap")), captured);
    EXPECT_FALSE(QFile::exists(temporaryFile));
    EXPECT_EQ(h.beep.count, 1);

    // A second save has nothing to move.
    h.panels.answers.push_back(dir.filePath("second.pcap"));
    controller->saveDocument(nullptr);
    EXPECT_EQ(h.beep.count, 2);

    // An existing file is never replaced; the temporary file stays.
    writeLiveRunFile(h, temporaryFile);
    QFile existing(dir.filePath("keep.pcap"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("mine");
    existing.close();
    h.panels.answers.push_back(dir.filePath("keep.pcap"));
    controller->saveDocument(nullptr);
    EXPECT_EQ(contents(dir.filePath("keep.pcap")), "mine");
    EXPECT_TRUE(QFile::exists(temporaryFile));
    EXPECT_EQ(h.beep.count, 3);
    EXPECT_EQ(h.log.count("Move failed"), 3);

    // Closed without OK: only the first line.
    h.log.clear();
    controller->saveDocument(nullptr);
    EXPECT_EQ(h.log.lines(), Texts{"In save document"});
}

TEST_F(Controller, MovesAcrossFileSystemsWithoutReplacing) {
    struct stat shm {
    }, tmp{};
    if (stat("/dev/shm", &shm) != 0 || stat(dir.path().toLocal8Bit(), &tmp) != 0 ||
        shm.st_dev == tmp.st_dev) {
        GTEST_SKIP() << "needs /dev/shm on a file system other than the temporary folder";
    }
    const QString source = QString("/dev/shm/quorvex-move-%1").arg(getpid());
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(100000, 'x'));
    file.close();
    EXPECT_TRUE(moveFileWithoutReplacing(source, dir.filePath("moved.pcap")));
    EXPECT_FALSE(QFile::exists(source));
    EXPECT_EQ(contents(dir.filePath("moved.pcap")).size(), 100000);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).filter(".part").isEmpty());
}

TEST_F(Controller, MenuItemsAreAlwaysEnabledAndLogged) {
    h.log.clear();
    EXPECT_TRUE(controller->validateMenuItem("Open..."));
    EXPECT_TRUE(controller->validateMenuItem("Save..."));
    EXPECT_EQ(h.log.lines(), (Texts{"In validate for: Open...", "In validate for: Save..."}));
}

TEST_F(Controller, DataFilePathIsMadeOnceAndStaysTheSame) {
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    const QString first = controller->pathForDataFile();
    EXPECT_EQ(first, dir.filePath("Quorvex/Quorvex.capture"));
    EXPECT_TRUE(QFileInfo(dir.filePath("Quorvex")).isDir());
    EXPECT_EQ(controller->pathForDataFile(), first);
    EXPECT_FALSE(QFile::exists(first)); // nothing reads or writes it
    qunsetenv("XDG_DATA_HOME");
}

TEST_F(Controller, LogOnlyOperations) {
    h.log.clear();
    controller->saveDataToDisk();
    controller->loadDataFromDisk();
    controller->dblClick();
    EXPECT_EQ(h.log.lines(),
              (Texts{"In save data to disk", "In load data to disk", "Double click"}));
}

// A load that would run for ever (a FIFO whose writer never stops) ends when
// Open replaces its capture, instead of filling memory behind the new one.
TEST_F(Controller, OpenCallsOffALoadThatIsStillRunning) {
    const QString fifo = dir.filePath("endless.pcap");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    std::signal(SIGPIPE, SIG_IGN);
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        CaptureFileWriter out(fifo.toStdString());
        std::vector<iaxgen::Bytes> packets;
        scenarios::sampleCall([&](const iaxgen::Bytes& p, std::int64_t) { packets.push_back(p); });
        // About 100,000 packets a second, for at most ten seconds or so.
        for (std::size_t i = 0; writing && i < 1'000'000; ++i) {
            out.write(packets[i % packets.size()], static_cast<std::int64_t>(i) * 1000);
            if (out.failed()) {
                break; // the reader went away
            }
            if (i % 100 == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    });
    controller->openDocumentWithContentsOfFile(fifo);
    const std::weak_ptr<KvIAXCapture> endless = controller->iaxCaptures().first();
    ASSERT_TRUE(pumpUntil([&] { return endless.lock()->iaxFrames().size() > 1000; }));

    controller->openDocumentWithContentsOfFile(writeSampleCapture(dir.filePath("call.pcap")));
    const bool ended = pumpUntil([&] { return h.load.threads.running() == 0; }, 3000);
    writing = false;
    writer.join();
    EXPECT_TRUE(ended) << "the first load went on";
    pumpUntil([] { return false; }, 50);
    EXPECT_TRUE(endless.expired()); // gone with its frames
    EXPECT_EQ(controller->iaxCaptures().first()->iaxFrames().size(), 38u);
}

// Save moves the file this process's last live run made, and nothing else:
// not a file another user put at the path, nor one that replaced ours.
TEST_F(Controller, SaveNeverMovesAFileItsLiveRunDidNotMake) {
    writeSampleCapture(temporaryFile); // no live run made it
    h.panels.answers.push_back(dir.filePath("planted"));
    controller->saveDocument(nullptr);
    EXPECT_FALSE(QFile::exists(dir.filePath("planted.pcap")));

    writeLiveRunFile(h, temporaryFile);
    ASSERT_EQ(chown(temporaryFile.toLocal8Bit().constData(), 65534, 65534), 0); // another user's
    ASSERT_EQ(chmod(temporaryFile.toLocal8Bit().constData(), 0666), 0);
    h.panels.answers.push_back(dir.filePath("foreign"));
    controller->saveDocument(nullptr);
    EXPECT_FALSE(QFile::exists(dir.filePath("foreign.pcap")));

    writeLiveRunFile(h, temporaryFile);
    ASSERT_TRUE(QFile::rename(temporaryFile, dir.filePath("moved-away")));
    writeSampleCapture(temporaryFile); // same name, another file
    h.panels.answers.push_back(dir.filePath("replaced"));
    controller->saveDocument(nullptr);
    EXPECT_FALSE(QFile::exists(dir.filePath("replaced.pcap")));
    EXPECT_EQ(h.beep.count, 3);

    // The run's own file moves, and is its owner's alone.
    writeLiveRunFile(h, temporaryFile);
    ASSERT_EQ(chmod(temporaryFile.toLocal8Bit().constData(), 0644), 0);
    h.panels.answers.push_back(dir.filePath("ours"));
    controller->saveDocument(nullptr);
    struct stat saved {};
    ASSERT_EQ(stat(dir.filePath("ours.pcap").toLocal8Bit().constData(), &saved), 0);
    EXPECT_EQ(saved.st_mode & 0777, 0600u);
    EXPECT_EQ(h.beep.count, 3);
}

// While a run writes the file, moving it would send the rest of the run's
// packets nowhere: Save is disabled and refused until the run has ended.
TEST_F(Controller, SaveWaitsUntilNoRunWritesTheFile) {
    writeLiveRunFile(h, temporaryFile);
    struct stat info {};
    ASSERT_EQ(stat(temporaryFile.toLocal8Bit().constData(), &info), 0);
    h.liveFiles.remember(temporaryFile.toStdString(), info.st_dev, info.st_ino); // a run writes
    EXPECT_FALSE(controller->validateMenuItem("Save..."));
    EXPECT_TRUE(controller->validateMenuItem("Save Selected Calls..."));
    h.log.clear();
    controller->saveDocument(nullptr);
    EXPECT_EQ(h.log.lines(),
              (Texts{"In save document", "Save is refused while a live capture writes the file",
                     "Move failed", "<beep>"}));
    EXPECT_TRUE(QFile::exists(temporaryFile));

    h.liveFiles.finished();
    EXPECT_TRUE(controller->validateMenuItem("Save..."));
    h.panels.answers.push_back(dir.filePath("after"));
    controller->saveDocument(nullptr);
    EXPECT_TRUE(QFile::exists(dir.filePath("after.pcap")));
}

// The packets of selected calls go to a new file, unchanged.
TEST_F(Controller, SavesTheSelectedCallsPackets) {
    int packets = 0;
    controller->openDocumentWithContentsOfFile(
        writeSampleCapture(dir.filePath("call.pcap"), &packets));
    const auto capture = controller->iaxCaptures().first();
    ASSERT_TRUE(pumpUntil([&] { return capture->callTracker().calls().size() == 1; }));
    pumpUntil([&] { return h.load.threads.running() == 0; });

    h.panels.answers.push_back(dir.filePath("one-call"));
    controller->saveCalls(*capture, {0});
    h.load.threads.waitForAll([] { QCoreApplication::processEvents(); }); // written on a worker
    const auto saved = h.load.load(dir.filePath("one-call.pcap"));
    EXPECT_EQ(saved->iaxFrames().size(), capture->callTracker().calls()[0].frames);
    EXPECT_EQ(saved->callTracker().calls().size(), 1u);
    EXPECT_EQ(h.beep.count, 0);

    controller->saveCalls(*capture, {}); // nothing to save
    EXPECT_EQ(h.beep.count, 1);
    h.panels.answers.push_back(dir.filePath("one-call")); // exists: never replaced
    controller->saveCalls(*capture, {0});
    EXPECT_EQ(h.beep.count, 2);
}
