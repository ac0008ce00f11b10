// The window under Qt's offscreen platform: a generated capture is opened,
// a frame with elements selected, and the three tables read back.
#include "ui/CallFlowView.h"
#include "ui/ColumnChooser.h"
#include "ui/CaptureListModel.h"
#include "ui/ElementTableModel.h"
#include "ui/FrameTableModel.h"
#include "ui/UniformRowsView.h"
#include "ui/MainWindow.h"
#include "ui/PlayerView.h"
#include "ui/StreamsView.h"
#include "ui/DisplayFilterBar.h"
#include "ui/FindBar.h"
#include "ui/PacketDetailsView.h"
#include "ui/PacketTreeModel.h"
#include "ui/ProblemTableModel.h"
#include "ui/ProblemsView.h"
#include "ui/QualityWatch.h"
#include "ui/RunProgress.h"
#include "ui/FrameSelection.h"
#include "ui/FramesPanel.h"
#include "ui/FramesInSlices.h"
#include "app/CallSelection.h"
#include "app/CaptureFilter.h"
#include "capturefile/CaptureFileWriter.h"
#include "samples/QualityCalls.h"
#include "samples/Scenarios.h"
#include "samples/ToneCalls.h"

#include "tests/support/ControllerHarness.h"
#include "tests/support/WindowServices.h"
#include "tests/support/WindowParts.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QMessageBox>
#include <QTextDocument>
#include <QTest>
#include <QTimer>
#include <QTabWidget>
#include <QTableView>
#include <QHeaderView>
#include <QSplitter>
#include <QtEndian>
#include <QTreeView>
#include <QChart>
#include <QPushButton>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <numeric>
#include <set>

namespace {

QString cell(const QAbstractItemView* view, int row, int column) {
    return view->model()->index(row, column).data().toString();
}

QTabWidget* tabsOf(QWidget* page) {
    return qobject_cast<QTabWidget*>(page->parentWidget()->parentWidget());
}

// Brings a tab's page into sight, as a click on its tab does.
void showTab(QWidget* page) {
    tabsOf(page)->setCurrentWidget(page);
}

// Shows the first tab beside each page again, as the window remembers the
// tabs shown and the other tests expect them.
void showFirstTabs(std::initializer_list<QWidget*> pages) {
    for (QWidget* page : pages) {
        tabsOf(page)->setCurrentIndex(0);
    }
}

QStringList rowOf(const QAbstractItemView* view, int row) {
    QStringList cells;
    for (int column = 0; column < view->model()->columnCount(); ++column) {
        cells << cell(view, row, column);
    }
    return cells;
}

} // namespace

// A window started without a file (as `quorvex --capture` is) has its
// capture's Start/Stop button in the row from the first.
TEST(Window, TheFirstCaptureRowHasItsButton) {
    ControllerHarness h;
    MainWindow window(windowServices(h));
    window.show();
    const QTableView* captures = parts(window).capturesTable();
    ASSERT_EQ(captures->model()->rowCount(), 1);
    const int buttonColumn = captures->model()->columnCount() - 1;
    const auto* button = qobject_cast<QPushButton*>(
        captures->indexWidget(captures->model()->index(0, buttonColumn)));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Start");
}

TEST(Window, ShowsCapturesFramesAndElementsByKey) {
    ControllerHarness h;
    MainWindow window(windowServices(h));
    window.resize(1100, 760);
    window.show();
    EXPECT_EQ(h.log.lines(), (std::vector<std::string>{"In KvIAXCapture init",
                                                       "KvController is awaking from NIB"}));

    // Qt checks every signal of the three models while the file loads.
    QAbstractItemModelTester captureTester(parts(window).capturesTable()->model());
    QAbstractItemModelTester frameTester(parts(window).framesTable()->model());
    QAbstractItemModelTester elementTester(parts(window).elementsTable()->model());

    window.controller().openDocumentWithContentsOfFile(QUORVEX_SAMPLES "/sample-call.pcap");
    ASSERT_TRUE(pumpUntil([&] { return parts(window).framesTable()->model()->rowCount() == 38; }));

    const QTableView* captures = parts(window).capturesTable();
    ASSERT_EQ(captures->model()->rowCount(), 1);
    const QStringList captureRow = rowOf(captures, 0);
    EXPECT_TRUE(captureRow[0].startsWith("N 0x")) << captureRow[0].toStdString();
    // Beside the title, what the capture read.
    EXPECT_EQ(captureRow.mid(1), (QStringList{"sample-call.pcap", "Idle", "port 4569", "Start"}));
    EXPECT_EQ(window.windowTitle(), "sample-call.pcap \u2014 Quorvex");

    const UniformRowsView* frames = parts(window).framesTable();
    // The frame's number first, the keys' columns, then its length and summary.
    EXPECT_EQ(rowOf(frames, 5).mid(0, 9),
              (QStringList{"6", "192.0.2.10", "198.51.100.20", "No", "IAX Control", "NEW", "00004",
                           "00002", "00000"}));
    EXPECT_EQ(cell(frames, 5, parts(window).frameModel().infoColumn()),
              QString::fromUtf8("NEW 2000 → 1000 (call 2)"));
    EXPECT_EQ(rowOf(frames, 20).mid(3, 6),
              (QStringList{"N/A", "Mini Frame", "N/A", "02140", "00002", "N/A"}));
    EXPECT_EQ(cell(frames, 20, parts(window).frameModel().infoColumn()), "Mini voice ts 2140");
    EXPECT_EQ(frames->model()->headerData(0, Qt::Horizontal).toString(), "No.");
    EXPECT_EQ(frames->model()->headerData(1, Qt::Horizontal).toString(), "Source");

    parts(window).framesTable()->selectRow(5);
    const QTableView* elements = parts(window).elementsTable();
    ASSERT_EQ(elements->model()->rowCount(), 13);
    EXPECT_EQ(rowOf(elements, 0), (QStringList{"Version", "2"}));
    EXPECT_EQ(rowOf(elements, 3),
              (QStringList{"Calling Name", QString::fromUtf8("Alice M\xC3\xBCller")}));
    EXPECT_EQ(rowOf(elements, 12).first(), "Datetime");
    EXPECT_TRUE(parts(window).statusText().startsWith("38 frames"))
        << parts(window).statusText().toStdString();

    // The filter cell is edited through the capture's key setter.
    auto* model = parts(window).capturesTable()->model();
    ASSERT_TRUE(model->setData(model->index(0, 3), "udp port 4570", Qt::EditRole));
    EXPECT_EQ(window.controller().iaxCaptures().first()->valueForKey("filter").toString(),
              "udp port 4570");

    // The call and the registration; selecting the call shows its frames only,
    // and selecting none all of them again, rows mapped to frames.
    QAbstractItemModelTester callTester(parts(window).callsTable()->model());
    ASSERT_TRUE(pumpUntil([&] { return parts(window).callsTable()->model()->rowCount() == 1; }));
    EXPECT_EQ(parts(window).registrationsTable()->model()->rowCount(), 1);
    EXPECT_EQ(cell(parts(window).callsTable(), 0, 8), "Completed");
    parts(window).callsTable()->selectRow(0);
    ASSERT_EQ(frames->model()->rowCount(), 33);
    EXPECT_EQ(cell(frames, 0, 5), "NEW");
    parts(window).framesTable()->selectRow(0);
    EXPECT_EQ(elements->model()->rowCount(), 13); // the NEW's elements, through the filter

    // Its ladder, made once its tab is in sight: 11 arrows and a voice band
    // each way; an arrow selects its frame.
    CallFlowView* flow = parts(window).callFlowView();
    EXPECT_EQ(flow->stepCount(), 0);
    showTab(flow);
    ASSERT_EQ(flow->stepCount(), 13);
    flow->setCurrentStep(1); // ACCEPT
    EXPECT_EQ(parts(window).framesTable()->currentIndex().row(), 1);
    EXPECT_EQ(cell(frames, 1, 5), "ACCEPT");
    const QString png = QUORVEX_BUILD_DIR "/call-flow.png";
    const QString svg = QUORVEX_BUILD_DIR "/call-flow.svg";
    ASSERT_TRUE(flow->exportPng(png));
    ASSERT_TRUE(flow->exportSvg(svg));
    EXPECT_GT(QFileInfo(png).size(), 1000);
    QFile svgFile(svg);
    ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(svgFile.readAll().contains("ACCEPT"));
    parts(window).callsTable()->clearSelection();
    EXPECT_EQ(frames->model()->rowCount(), 38);
    EXPECT_EQ(elements->model()->rowCount(), 0); // no frame is selected any more
    showFirstTabs({flow});

    pumpUntil([] { return false; }, 100);
    const QString shot = QUORVEX_BUILD_DIR "/window.png";
    EXPECT_TRUE(window.grab().save(shot)) << shot.toStdString();
}

TEST(Window, AppendsRowsInBatchesWithoutResetting) {
    ControllerHarness h;
    KvIAXCapture::create(h.load.services); // warm the log
    auto capture = KvIAXCapture::create(h.load.services);
    FrameTableModel model(KeyColumns{{"type"}, {}});
    QAbstractItemModelTester tester(&model);
    model.setCapture(capture.get());
    int inserts = 0;
    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    for (int i = 0; i < 500; ++i) {
        capture->iaxFrames().push_back(std::make_shared<KvIAXFrame>());
        capture->setIaxFrames(capture->iaxFrames());
    }
    model.flushAppends();
    EXPECT_EQ(model.rowCount(), 500);
    EXPECT_EQ(inserts, 1);
    EXPECT_EQ(resets, 0);
    capture.reset(); // the model lets go of a capture that is gone
    EXPECT_EQ(model.rowCount(), 0);
}

// Frames summed a slice at a time: every one there was at the start, or
// only those named; a list replaced meanwhile ends the sum unfinished.
TEST(Window, FramesInSlicesVisitsTheFramesOnceOrStopsWhenTheListIsReplaced) {
    ControllerHarness h;
    auto capture = KvIAXCapture::create(h.load.services);
    for (int i = 0; i < 5000; ++i) {
        capture->iaxFrames().push_back(std::make_shared<KvIAXFrame>());
    }
    capture->setIaxFrames(capture->iaxFrames());
    QObject owner;
    for (const FramesInSlices::FrameNumbers& only :
         {FramesInSlices::FrameNumbers{}, std::make_shared<const std::vector<std::uint32_t>>(
                                              std::vector<std::uint32_t>{1, 7, 5000, 9999})}) {
        std::set<const KvIAXFrame*> seen;
        int visits = 0;
        bool done = false;
        FramesInSlices::start(
            &owner, *capture, only,
            [&](const KvIAXFrame& frame) {
                ++visits;
                seen.insert(&frame);
            },
            [&](const KvIAXCapture&) { done = true; });
        capture->iaxFrames().push_back(std::make_shared<KvIAXFrame>()); // after the start
        ASSERT_TRUE(pumpUntil([&] { return done; }));
        EXPECT_EQ(visits, only == nullptr ? 5000 : 3);
        EXPECT_EQ(seen.size(), static_cast<std::size_t>(visits));
    }

    bool done = false;
    QPointer<FramesInSlices> run = FramesInSlices::start(
        &owner, *capture, nullptr, [](const KvIAXFrame&) {},
        [&](const KvIAXCapture&) { done = true; });
    FrameList other;
    other.push_back(std::make_shared<KvIAXFrame>());
    capture->setIaxFrames(other);
    ASSERT_TRUE(pumpUntil([&] { return run == nullptr; }));
    EXPECT_FALSE(done);
}

TEST(Window, TheAlertShowsTheLibraryTextAsPlainTextWithOneOkButton) {
    QtCaptureAlert alert(nullptr);
    QString informative;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), "Capture failed");
        auto* label = box->findChild<QLabel*>("qt_msgbox_informativelabel");
        ASSERT_NE(label, nullptr);
        // What the label shows, whichever way it reads its text.
        QTextDocument shown;
        if (label->textFormat() == Qt::PlainText ||
            (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(label->text()))) {
            shown.setPlainText(label->text());
        } else {
            shown.setHtml(label->text());
        }
        informative = shown.toPlainText();
        for (QAbstractButton* button : box->buttons()) {
            buttons << button->text();
        }
        box->accept();
    });
    alert.showCaptureFailed("<b>100%</b> of %s failed");
    EXPECT_EQ(informative, "<b>100%</b> of %s failed");
    EXPECT_EQ(buttons, QStringList{"Ok"});
}

// Quit ends the process within a second whatever a worker is blocked on:
// here a load opening a FIFO that no one will ever write.
TEST(WindowProcess, QuitEndsTheProcessWhileALoadIsBlocked) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("nobody-writes.pcap");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    window.setProcessEnvironment(environment);
    window.start(QUORVEX_BUILD_DIR "/quorvex", {fifo});
    ASSERT_TRUE(window.waitForStarted());
    QThread::msleep(1000);
    ASSERT_EQ(window.state(), QProcess::Running);
    QElapsedTimer clock;
    clock.start();
    kill(static_cast<pid_t>(window.processId()), SIGTERM); // as a session ending asks
    ASSERT_TRUE(window.waitForFinished(5000));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(window.exitStatus(), QProcess::NormalExit);
}

TEST(Window, ShowsTheSelectedCallsStreamsAndDecodesAndExportsItsAudio) {
    QTemporaryDir folder;
    const QString capture =
        writeCapture(folder.filePath("tones.pcap"),
                     [](const scenarios::PacketSink& sink) { scenarios::toneCalls(sink); });
    ControllerHarness h;
    MainWindow window(windowServices(h));
    window.resize(1100, 760);
    window.show();
    window.controller().openDocumentWithContentsOfFile(capture);
    ASSERT_TRUE(pumpUntil([&] { return parts(window).callsTable()->model()->rowCount() == 10; }));
    StreamsView* streams = parts(window).streamsView();
    QAbstractItemModelTester figuresTester(streams->figuresTable()->model());
    QAbstractItemModelTester packetsTester(streams->packetsTable()->model());

    // Call 1 (G.711 u-law): the caller's stream lost one frame, sent one twice
    // and one out of order; its packets lead to their frames.
    parts(window).callsTable()->selectRow(0);
    showTab(streams);
    ASSERT_EQ(streams->streamCount(), 2);
    const QStringList caller = rowOf(streams->figuresTable(), 0);
    EXPECT_EQ(caller.mid(0, 10), (QStringList{"1", "caller", "203.0.113.1:4569", "203.0.113.2:4569",
                                              "G.711 uLaw", "50", "50", "1", "1", "1"}));
    QTableView* packets = streams->packetsTable();
    ASSERT_EQ(packets->model()->rowCount(), 50);
    EXPECT_EQ(cell(packets, 9, 5), "lost before (1)");
    packets->selectRow(9);
    const int frameRow = parts(window).framesTable()->currentIndex().row();
    EXPECT_EQ(parts(window).frameModel().frameAt(frameRow)->facts().iaxTimestamp & 0xFFFF, 300u);
    // The charts come one at each turn of the event loop.
    EXPECT_TRUE(pumpUntil([&] { return streams->jitterChart()->series().size() == 2; }));

    // Its audio is decoded away from the main thread once its tab is shown;
    // exported as soon as asked, it is written once decoded.
    PlayerView* player = parts(window).playerView();
    showTab(player);
    ASSERT_TRUE(player->isDecoding());
    const QString wav = folder.filePath("call-1.wav");
    h.panels.answers << wav;
    player->exportAudio();
    ASSERT_TRUE(
        pumpUntil([&] { return !player->isDecoding() && player->player().audio() != nullptr; }));
    EXPECT_TRUE(player->statusText().startsWith("Exported to"))
        << player->statusText().toStdString();
    EXPECT_TRUE(player->playButton()->isEnabled());
    EXPECT_EQ(h.panels.saveType, "wav");
    EXPECT_NEAR(QFileInfo(wav).size(), 44 + 8000 * 4, 8000 * 4 / 20);
    player->setTiming(media::Timing::Arrived);
    ASSERT_TRUE(
        pumpUntil([&] { return !player->isDecoding() && player->player().audio() != nullptr; }));
    EXPECT_TRUE(player->statusText().contains("Caller: G.711 uLaw, 49 payloads decoded, 1 lost"))
        << player->statusText().toStdString();

    // A call in a codec without a decoder says so, and cannot be played.
    parts(window).callsTable()->selectRow(9);
    ASSERT_TRUE(
        pumpUntil([&] { return !player->isDecoding() && player->player().audio() != nullptr; }));
    EXPECT_TRUE(player->statusText().contains("no decoder for G.723.1"))
        << player->statusText().toStdString();
    EXPECT_FALSE(player->playButton()->isEnabled());
    EXPECT_EQ(streams->streamCount(), 2);

    parts(window).callsTable()->clearSelection();
    EXPECT_EQ(streams->streamCount(), 0);
    EXPECT_EQ(player->player().audio(), nullptr);
    showFirstTabs({streams, player});
}

TEST(Window, DisplayFilterFindAndGoToFrameWorkThroughTheRowsShown) {
    ControllerHarness h;
    MainWindow window(windowServices(h));
    window.resize(1100, 760);
    window.show();
    QAbstractItemModelTester frameTester(parts(window).framesTable()->model());
    window.controller().openDocumentWithContentsOfFile(QUORVEX_SAMPLES "/sample-call.pcap");
    ASSERT_TRUE(pumpUntil([&] { return parts(window).callsTable()->model()->rowCount() == 1; }));
    UniformRowsView* frames = parts(window).framesTable();
    DisplayFilterBar* bar = parts(window).filterBar();
    auto apply = [&](const QString& expression) {
        bar->prepare(expression);
        const bool applied = bar->apply();
        pumpUntil([&] { return !parts(window).isFiltering(); });
        return applied;
    };

    ASSERT_TRUE(apply("iax2.type == 6"));
    EXPECT_EQ(frames->model()->rowCount(), 14);
    EXPECT_TRUE(parts(window).statusText().startsWith("14 / 38 frames shown"))
        << parts(window).statusText().toStdString();
    EXPECT_EQ(bar->recent().first(), "iax2.type == 6");
    // A typo is refused with the reason, in the status line too, and what is shown stays.
    EXPECT_FALSE(apply("iax2.typ == 6"));
    EXPECT_EQ(bar->error(), "unknown field 'iax2.typ' at column 1");
    EXPECT_TRUE(
        parts(window).statusText().contains("display filter: unknown field 'iax2.typ' at column 1"))
        << parts(window).statusText().toStdString();
    EXPECT_EQ(frames->model()->rowCount(), 14);
    // Field names are offered as they are typed.
    bar->prepare("iax2.iax.call");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QTest::keyClicks(QApplication::focusWidget(), "in");
    EXPECT_EQ(bar->completions(), (QStringList{"iax2.iax.calling_ani", "iax2.iax.calling_name",
                                               "iax2.iax.calling_number", "iax2.iax.callingpres",
                                               "iax2.iax.callingtns", "iax2.iax.callington"}));

    // Behind the filter a row leads to its own frame: row 5 is the NEW.
    frames->selectRow(5);
    EXPECT_EQ(cell(frames, 5, 5), "NEW");
    EXPECT_EQ(parts(window).elementsTable()->model()->rowCount(), 13);
    // Apply as Filter on its subclass cell.
    parts(window).filterOnFrameCell(frames->model()->index(5, 5), true);
    pumpUntil([&] { return !parts(window).isFiltering(); });
    EXPECT_EQ(bar->text(), "iax2.iax.subclass == 1");
    EXPECT_EQ(frames->model()->rowCount(), 1);
    // Prepare as Filter on an element puts it in the bar without applying it.
    frames->selectRow(0);
    parts(window).filterOnElement(parts(window).elementsTable()->model()->index(3, 0), false);
    EXPECT_EQ(bar->text(), QString::fromUtf8("iax2.iax.calling_name == \"Alice M\xC3\xBCller\""));
    EXPECT_EQ(frames->model()->rowCount(), 1);

    // The display filter and the call selection together.
    ASSERT_TRUE(apply("iax2.type == 6"));
    parts(window).callsTable()->selectRow(0);
    pumpUntil([&] { return !parts(window).isFiltering(); });
    EXPECT_EQ(frames->model()->rowCount(), 9);
    parts(window).callsTable()->clearSelection();
    pumpUntil([&] { return !parts(window).isFiltering(); });
    EXPECT_EQ(frames->model()->rowCount(), 14);

    // Go to a frame the filter hides, then one it shows.
    EXPECT_FALSE(parts(window).goToFrame(18));
    EXPECT_TRUE(parts(window).statusText().contains("frame 18 is not shown"))
        << parts(window).statusText().toStdString();
    EXPECT_TRUE(parts(window).goToFrame(6));
    EXPECT_EQ(parts(window).frameModel().frameNumberAt(frames->currentIndex().row()), 6u);

    // Find: by expression, and by text, from the current row on, wrapping.
    ASSERT_TRUE(apply(""));
    EXPECT_EQ(frames->model()->rowCount(), 38);
    FindBar* find = parts(window).findBar();
    int foundRow = -1;
    QObject::connect(find, &FindBar::found, [&](int row) { foundRow = row; });
    find->setMode(FindBar::Mode::Text);
    find->setText("hangup");
    find->findNext();
    ASSERT_TRUE(pumpUntil([&] { return !find->isSearching(); }));
    EXPECT_EQ(cell(frames, foundRow, 5), "HANGUP");
    find->setMode(FindBar::Mode::Expression);
    find->setText("iax2.src_call == 1");
    find->findNext(); // from the HANGUP on, round to the registration
    ASSERT_TRUE(pumpUntil([&] { return !find->isSearching(); }));
    EXPECT_EQ(foundRow, 0);
    EXPECT_EQ(frames->currentIndex().row(), 0);
    find->setText("iax2.src_call ==");
    find->findNext();
    EXPECT_TRUE(find->message().startsWith("a value was expected"))
        << find->message().toStdString();
}

namespace {

// The line under `parent` whose text starts with `start`.
QModelIndex lineStarting(const PacketTreeModel& model, const QModelIndex& parent,
                         const QString& start) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        if (index.data().toString().startsWith(start)) {
            return index;
        }
    }
    return {};
}

// Every line's filter expression, down the tree.
void collectExpressions(const PacketTreeModel& model, const QModelIndex& parent,
                        QStringList& into) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        const QString expression = QString::fromStdString(model.itemAt(index)->expression);
        if (!expression.isEmpty()) {
            into << expression;
        }
        collectExpressions(model, index, into);
    }
}

} // namespace

// The packet details of a DTMF frame, a PONG and a trunk frame: their RFC
// 5456 fields, the bytes of a selected field, and an expression from every
// line that selects its own frame.
TEST(Window, PacketDetailsShowEveryFieldWithItsBytes) {
    QTemporaryDir folder;
    const QString capture = writeCapture(folder.filePath("all-kinds.pcap"), scenarios::allKinds);
    ControllerHarness h;
    MainWindow window(windowServices(h));
    window.resize(1100, 760);
    window.show();
    window.controller().openDocumentWithContentsOfFile(capture);
    ASSERT_TRUE(pumpUntil([&] { return parts(window).framesTable()->model()->rowCount() > 90; }));
    PacketDetailsView* details = parts(window).detailsView();
    QAbstractItemModelTester tester(details->tree()->model());
    const PacketTreeModel& model = details->model();
    KvIAXCapture* loaded = parts(window).frameModel().capture();

    struct Case {
        int frame;         // 1-based
        const char* line;  // under IAX2
        const char* field; // a line to select, under IAX2
        std::pair<int, int> bytes;
    };
    // Ethernet (14) + IPv4 (20) + UDP (8): the IAX2 header from byte 42.
    const Case cases[] = {
        {74, "Type: DTMF End (1)", ".000 0000 0000 1011 = Source call: 11", {42, 44}},
        {4, "IAX subclass: PONG (3)", "Timestamp:", {46, 50}},
        {93, "Trunk call from 5, ts: 258", "Command data: 0x01", {45, 46}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        const int row = parts(window).frameModel().rowOfFrame(static_cast<std::uint32_t>(c.frame));
        parts(window).framesTable()->selectRow(row);
        const QModelIndex iax = lineStarting(model, {}, "Inter-Asterisk eXchange v2");
        ASSERT_TRUE(iax.isValid());
        EXPECT_TRUE(lineStarting(model, iax, c.line).isValid())
            << "no line " << c.line << " under IAX2";
        const QModelIndex field = lineStarting(model, iax, c.field);
        ASSERT_TRUE(field.isValid()) << c.field;
        details->tree()->setCurrentIndex(field);
        EXPECT_EQ(details->highlighted(), c.bytes);

        QStringList expressions;
        collectExpressions(model, {}, expressions);
        EXPECT_GT(expressions.size(), 30);
        for (const QString& expression : expressions) {
            std::string error;
            auto compiled = filter::DisplayFilter::compile(expression.toStdString(), error);
            ASSERT_TRUE(compiled) << expression.toStdString() << ": " << error;
            CaptureFilter test(*loaded, std::move(*compiled));
            ASSERT_TRUE(test.open(error)) << error;
            test.refresh();
            EXPECT_EQ(test.test(static_cast<std::uint32_t>(c.frame), error), filter::Verdict::Match)
                << expression.toStdString();
        }
    }
}

TEST(Window, ListsProblemsColoursTheirFramesAndJudgesAtTheChosenJitterBuffer) {
    QTemporaryDir folder;
    const QString capture = writeCapture(folder.filePath("quality.pcap"), scenarios::qualityCalls);
    ControllerHarness h;
    MainWindow window(windowServices(h));
    window.resize(1100, 760);
    window.show();
    window.controller().openDocumentWithContentsOfFile(capture);
    ProblemsView* problems = parts(window).qualityWatch()->problemsView();
    QAbstractItemModelTester tester(problems->table()->model());
    // Listening to the voice finds the silent callee: 22 problems in all
    // (one the registration's malformed password).
    ASSERT_TRUE(pumpUntil([&] { return problems->table()->model()->rowCount() == 22; }));
    EXPECT_EQ(cell(problems->table(), 0, 1), "oneWayAudio");

    // Frame 112 follows three lost frames: its row is tinted, its details
    // say so, and Next Problem reaches it from frame 1.
    UniformRowsView* frames = parts(window).framesTable();
    const QModelIndex lost =
        parts(window).frameModel().index(parts(window).frameModel().rowOfFrame(112), 0);
    EXPECT_TRUE(lost.data(Qt::BackgroundRole).isValid());
    EXPECT_FALSE(parts(window).frameModel().index(1, 0).data(Qt::BackgroundRole).isValid());
    frames->selectRow(0);
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() == "Next &Problem") {
            action->trigger();
        }
    }
    EXPECT_EQ(parts(window).frameModel().frameNumberAt(frames->currentIndex().row()), 112u);
    const PacketTreeModel& tree = parts(window).detailsView()->model();
    const QModelIndex iax = tree.index(tree.rowCount() - 1, 0);
    EXPECT_EQ(tree.index(tree.rowCount(iax) - 1, 0, iax).data().toString(),
              "[Expert Info (Warning/lostVoice): 3 voice frames lost before this one in the "
              "caller's stream]");

    // Choosing a problem selects its frame, and the tab stays.
    parts(window).qualityWatch()->problemsView()->table()->selectRow(1);
    EXPECT_EQ(parts(window).frameModel().frameNumberAt(frames->currentIndex().row()), 112u);

    // The calls table judges the worse direction; at 100 ms one late frame fewer.
    const int mos = parts(window).callsTable()->model()->columnCount() - 9;
    EXPECT_EQ(parts(window).callsTable()->model()->headerData(mos, Qt::Horizontal).toString(),
              "MOS");
    EXPECT_EQ(cell(parts(window).callsTable(), 0, mos), "4.161");
    parts(window).qualityWatch()->setJitterBufferMs(100);
    EXPECT_EQ(cell(parts(window).callsTable(), 0, mos), "4.158");
    EXPECT_EQ(problems->table()->model()->rowCount(), 21);
    parts(window).callsTable()->selectRow(0);
    showTab(parts(window).streamsView());
    ASSERT_EQ(parts(window).streamsView()->streamCount(), 2);
    EXPECT_TRUE(pumpUntil([&] {
        return parts(window).streamsView()->lossChart()->series().size() == 2; // reported, captured
    }));
    parts(window).qualityWatch()->setJitterBufferMs(50);
    showFirstTabs({parts(window).streamsView()});
}

// A load shows its progress and stops at Cancel, keeping what it read: here
// from a FIFO the test writes a packet at a time.
TEST(Window, CancelStopsALoadAndKeepsItsFrames) {
    QFile sample(QUORVEX_SAMPLES "/sample-call.pcap");
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    const QByteArray bytes = sample.readAll();
    // The file header, then records of a 16-byte header and their bytes.
    std::vector<qsizetype> ends{24};
    while (ends.back() + 16 <= bytes.size()) {
        const auto captured = qFromLittleEndian<quint32>(bytes.constData() + ends.back() + 8);
        ends.push_back(ends.back() + 16 + captured);
    }
    QTemporaryDir dir;
    const QString fifo = dir.filePath("slow.pcap");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    ControllerHarness h;
    MainWindow window(windowServices(h));
    window.show();
    window.controller().openDocumentWithContentsOfFile(fifo);
    // Opened read-write, the FIFO never waits for the loader to open it.
    QFile writer(fifo);
    ASSERT_TRUE(writer.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    // Frames are handed over with the first one read 50 ms after the last
    // hand-off: five, a pause, the sixth.
    writer.write(bytes.left(ends[5]));
    QThread::msleep(100);
    writer.write(bytes.mid(ends[5], ends[6] - ends[5]));
    ASSERT_TRUE(pumpUntil([&] { return parts(window).frameModel().rowCount() == 6; }));
    RunProgress* progress = parts(window).runProgress();
    ASSERT_TRUE(pumpUntil([&] { return progress->text() == "loading: 6 frames"; }))
        << progress->text().toStdString();
    EXPECT_EQ(window.windowTitle(), "slow.pcap \u2014 Quorvex");

    QTest::mouseClick(progress->cancelButton(), Qt::LeftButton);
    writer.write(bytes.mid(ends[6], ends[7] - ends[6])); // the loader wakes, and stops
    const KvIAXCapture* capture = parts(window).frameModel().capture();
    ASSERT_TRUE(pumpUntil([&] { return !capture->isLoading(); }));
    EXPECT_EQ(parts(window).frameModel().rowCount(), 6); // of 38: nothing after Cancel
    ASSERT_TRUE(pumpUntil([&] { return progress->text().isEmpty(); }));
}

// What the user left is there at the next start: the window's size, its
// splitters, a table's column widths and order, the tab shown.
TEST(Window, RemembersItsLayoutAcrossRuns) {
    ControllerHarness h;
    QList<int> sizes;
    {
        MainWindow first(windowServices(h));
        first.show();
        first.resize(1000, 740);
        parts(first).framesTable()->setColumnWidth(1, 222);
        parts(first).framesTable()->horizontalHeader()->moveSection(2, 3);
        parts(first).framesPanel()->tabs()->setCurrentIndex(2);
        parts(first).qualityWatch()->problemsView()->table()->horizontalHeader()->setSortIndicator(
            ProblemTableModel::Kind, Qt::DescendingOrder);
        auto* splitter = first.findChild<QSplitter*>("splitter");
        splitter->setSizes({100, 300, 300});
        sizes = splitter->sizes();
        first.close();
    }
    MainWindow second(windowServices(h));
    second.show();
    EXPECT_EQ(second.size(), QSize(1000, 740));
    EXPECT_EQ(parts(second).framesTable()->columnWidth(1), 222);
    EXPECT_EQ(parts(second).framesTable()->horizontalHeader()->visualIndex(2), 3);
    EXPECT_EQ(parts(second).framesPanel()->tabs()->currentIndex(), 2);
    // The problems sort as their header shows, not only show it.
    ProblemsView* problems = parts(second).qualityWatch()->problemsView();
    EXPECT_EQ(problems->model().arrangement().column, ProblemTableModel::Kind);
    EXPECT_EQ(problems->model().arrangement().order, Qt::DescendingOrder);
    EXPECT_EQ(second.findChild<QSplitter*>("splitter")->sizes(), sizes);
    // A pane cannot be dragged to nothing.
    EXPECT_FALSE(second.findChild<QSplitter*>("splitter")->childrenCollapsible());
    // Put back as the other tests expect it.
    parts(second).framesTable()->horizontalHeader()->moveSection(3, 2);
    parts(second).framesPanel()->tabs()->setCurrentIndex(0);
    problems->table()->horizontalHeader()->setSortIndicator(ProblemTableModel::Frame,
                                                            Qt::AscendingOrder);
    second.close();
}

// Every table sorts by any column: numbers as numbers, addresses by their
// bytes, and a sorted row still leads to its own frame or call.
TEST(Window, SortsFramesAndCallsByAnyColumn) {
    QTemporaryDir folder;
    const QString capture = writeCapture(folder.filePath("quality.pcap"), scenarios::qualityCalls);
    ControllerHarness h;
    MainWindow window(windowServices(h));
    window.show();
    window.controller().openDocumentWithContentsOfFile(capture);
    ASSERT_TRUE(pumpUntil([&] {
        return parts(window).callsTable()->model()->rowCount() == 4 &&
               parts(window).frameModel().rowCount() == 835;
    }));

    // Frames by length, longest first, then by timestamp: 00003 before 00030
    // before 00100, as numbers.
    FrameTableModel& frames = parts(window).frameModel();
    const int length = frames.infoColumn() - 1;
    parts(window).framesPanel()->sortBy(length, Qt::DescendingOrder);
    ASSERT_TRUE(pumpUntil([&] { return !parts(window).framesPanel()->isSorting(); }));
    ASSERT_TRUE(frames.isSorted());
    int previous = INT_MAX;
    for (int row = 0; row < frames.rowCount(); ++row) {
        const int value = frames.index(row, length).data().toInt();
        ASSERT_LE(value, previous) << row;
        previous = value;
    }
    // By capture time, latest first: to the nanosecond, across seconds.
    parts(window).framesPanel()->sortBy(10, Qt::DescendingOrder); // Captured
    ASSERT_TRUE(pumpUntil([&] { return !parts(window).framesPanel()->isSorting(); }));
    const auto capturedAt = [&](int row) {
        const FrameFacts& facts = frames.frameAt(row)->facts();
        return facts.captureSeconds * 1'000'000'000 + facts.captureNanoseconds;
    };
    for (int row = 1; row < frames.rowCount(); ++row) {
        ASSERT_GE(capturedAt(row - 1), capturedAt(row)) << row;
    }
    parts(window).framesPanel()->sortBy(6, Qt::AscendingOrder); // Timestamp
    ASSERT_TRUE(pumpUntil([&] { return !parts(window).framesPanel()->isSorting(); }));
    EXPECT_EQ(frames.index(0, 6).data().toString(), "00002");
    // Go to Frame finds a frame's row wherever the sort put it.
    ASSERT_TRUE(parts(window).goToFrame(100));
    EXPECT_EQ(frames.frameNumberAt(parts(window).framesTable()->currentIndex().row()), 100u);

    // Calls by caller call number, largest first: selecting the first row
    // selects call 4 and shows its frames.
    QTableView* calls = parts(window).callsTable();
    calls->sortByColumn(2, Qt::DescendingOrder);
    EXPECT_EQ(cell(calls, 0, 2), "4");
    calls->selectRow(0);
    const auto& call4 = frames.capture()->callTracker().calls()[3];
    EXPECT_EQ(frames.rowCount(), static_cast<int>(call4.frameNumbers.size()));
    // A new selection shows its frames in capture order, unsorted.
    EXPECT_FALSE(frames.isSorted());
}

// The problems model sorts its own rows; a current row stays on its problem.
TEST(ProblemTable, SortsByEachColumnAndKeepsTheCurrentProblem) {
    using quality::ProblemKind;
    auto problem = [](ProblemKind kind, std::uint32_t frame, std::size_t call) {
        quality::Problem made;
        made.kind = kind;
        made.frame = frame;
        made.call = call;
        return made;
    };
    ProblemTableModel model;
    QAbstractItemModelTester tester(&model);
    using List = std::vector<quality::Problem>;
    model.setProblems(
        nullptr,
        std::make_shared<const List>(List{
            problem(ProblemKind::Retransmission, 3, 1), problem(ProblemKind::LostVoice, 5, 0),
            problem(ProblemKind::Reject, 8, quality::Problem::noCall),
            problem(ProblemKind::LostVoice, 9, 2), problem(ProblemKind::Retransmission, 12, 0)}));
    auto frames = [&model] {
        std::vector<std::uint32_t> order;
        for (int row = 0; row < model.rowCount(); ++row) {
            order.push_back(model.problemAt(row)->frame);
        }
        return order;
    };
    EXPECT_EQ(frames(), (std::vector<std::uint32_t>{3, 5, 8, 9, 12}));
    const QPersistentModelIndex current = model.index(3, 0); // frame 9
    const struct {
        int column;
        Qt::SortOrder order;
        std::vector<std::uint32_t> frames;
    } cases[] = {
        {ProblemTableModel::Severity, Qt::AscendingOrder, {8, 5, 9, 3, 12}},
        {ProblemTableModel::Severity, Qt::DescendingOrder, {3, 12, 5, 9, 8}},
        {ProblemTableModel::Kind, Qt::AscendingOrder, {5, 9, 8, 3, 12}},
        {ProblemTableModel::Call, Qt::AscendingOrder, {8, 5, 12, 3, 9}},
        {ProblemTableModel::Frame, Qt::DescendingOrder, {12, 9, 8, 5, 3}},
        {ProblemTableModel::Frame, Qt::AscendingOrder, {3, 5, 8, 9, 12}},
    };
    for (const auto& c : cases) {
        model.sort(c.column, c.order);
        EXPECT_EQ(frames(), c.frames) << c.column << " " << c.order;
        EXPECT_EQ(model.problemAt(current.row())->frame, 9u);
    }
    // A refresh keeps the order chosen; hiding a severity keeps it too.
    model.sort(ProblemTableModel::Frame, Qt::DescendingOrder);
    model.setProblems(nullptr,
                      std::make_shared<const List>(List{problem(ProblemKind::LostVoice, 2, 0),
                                                        problem(ProblemKind::Reject, 4, 0)}));
    EXPECT_EQ(frames(), (std::vector<std::uint32_t>{4, 2}));
    model.setShown(false, true, true);
    EXPECT_EQ(frames(), (std::vector<std::uint32_t>{2}));
}

// A selection of hundreds of thousands of frames has its streams' figures
// worked out away from the window: they show once ready, as they would have
// been made at once, and never for a selection made since.
TEST(Window, ALargeSelectionsStreamsShowWhenWorkedOutAndOnlyForIt) {
    QTemporaryDir folder;
    const QString capture =
        writeCapture(folder.filePath("mix.pcap"), [](const scenarios::PacketSink& sink) {
            scenarios::benchmarkMix(callselection::framesForAWorker + 40'000, sink);
        });
    ControllerHarness h;
    MainWindow window(windowServices(h));
    window.show();
    window.controller().openDocumentWithContentsOfFile(capture);
    ASSERT_TRUE(pumpUntil(
        [&] {
            return parts(window).frameModel().capture() != nullptr &&
                   !parts(window).frameModel().capture()->isLoading() &&
                   parts(window).frameModel().capture()->trackedFrameCount() ==
                       parts(window).frameModel().capture()->iaxFrames().size();
        },
        60000));
    const KvIAXCapture& loaded = *parts(window).frameModel().capture();
    const std::size_t calls = loaded.callTracker().calls().size();
    ASSERT_TRUE(pumpUntil([&] {
        return parts(window).callsTable()->model()->rowCount() == static_cast<int>(calls);
    }));
    // A copy of two runs of selected rows keeps the first 100,000 of them:
    // 60,000 of the first run and 40,000 of the second.
    ASSERT_GE(parts(window).frameModel().rowCount(), 200'000);
    QItemSelection runs;
    const auto rowAt = [&](int row) { return parts(window).frameModel().index(row, 0); };
    runs.select(rowAt(0), rowAt(59'999));
    runs.select(rowAt(70'000), rowAt(199'999));
    parts(window).framesTable()->selectionModel()->select(
        runs, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QStringList copied =
        parts(window).framesPanel()->selection().text(false).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(copied.size(), 1 + FrameSelection::mostCopiedRows); // the titles, then the rows
    EXPECT_TRUE(copied.back().startsWith("110000\t")) << copied.back().toStdString();
    parts(window).framesTable()->clearSelection();
    std::vector<std::size_t> all(calls);
    std::iota(all.begin(), all.end(), std::size_t{0});
    ASSERT_GE(callselection::frameCountOf(loaded, all), callselection::framesForAWorker);
    const auto expected = callselection::figuresOf(loaded, all);
    ASSERT_GT(expected.size(), 2u);

    StreamsView* streams = parts(window).streamsView();
    showTab(streams);
    parts(window).callsTable()->selectAll();
    EXPECT_EQ(streams->streamCount(), 0); // not yet worked out
    ASSERT_TRUE(pumpUntil(
        [&] { return streams->streamCount() == static_cast<int>(expected.size()); }, 30000));
    const auto lastRow = rowOf(streams->figuresTable(), streams->streamCount() - 1);
    EXPECT_EQ(lastRow.mid(0, 2), (QStringList{QString::number(expected.back().call + 1),
                                              expected.back().fromCaller ? "caller" : "callee"}));
    EXPECT_EQ(lastRow[5], QString::number(expected.back().packets));

    // Every call again, then the first alone before the first's figures came.
    parts(window).callsTable()->clearSelection();
    parts(window).callsTable()->selectAll();
    parts(window).callsTable()->selectRow(0);
    const auto first = callselection::figuresOf(loaded, {0});
    QElapsedTimer waited;
    waited.start();
    pumpUntil([&] { return waited.elapsed() > 300; });
    EXPECT_EQ(streams->streamCount(), static_cast<int>(first.size()));
    showFirstTabs({streams});
}

// A sort reads the rows it sorts a block at a time, in the order they are
// shown: sorting a sorted table by another column keeps the first order
// among equal keys.
TEST(Window, ASortOfASortedTableIsStableAcrossItsBlocksOfRows) {
    QTemporaryDir folder;
    const QString capture =
        writeCapture(folder.filePath("mix.pcap"), [](const scenarios::PacketSink& sink) {
            scenarios::benchmarkMix(5'000, sink);
        });
    ControllerHarness h;
    MainWindow window(windowServices(h));
    window.show();
    window.controller().openDocumentWithContentsOfFile(capture);
    FrameTableModel& frames = parts(window).frameModel();
    ASSERT_TRUE(pumpUntil([&] {
        return frames.rowCount() == 5'000 && frames.capture() != nullptr &&
               !frames.capture()->isLoading();
    }));
    parts(window).framesPanel()->sortBy(6, Qt::DescendingOrder); // Timestamp
    ASSERT_TRUE(pumpUntil([&] { return !parts(window).framesPanel()->isSorting(); }));
    std::vector<std::pair<QString, std::uint32_t>> expected;
    for (int row = 0; row < frames.rowCount(); ++row) {
        expected.emplace_back(frames.index(row, frames.infoColumn()).data().toString(),
                              frames.frameNumberAt(row));
    }
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    parts(window).framesPanel()->sortBy(frames.infoColumn(), Qt::AscendingOrder);
    ASSERT_TRUE(pumpUntil([&] { return !parts(window).framesPanel()->isSorting(); }));
    ASSERT_EQ(frames.rowCount(), static_cast<int>(expected.size()));
    for (int row = 0; row < frames.rowCount(); ++row) {
        ASSERT_EQ(frames.frameNumberAt(row), expected[static_cast<std::size_t>(row)].second) << row;
    }
}

// No text sets the window's width: a long filter kept in the history, a long
// error, a very long field name are cut to the room there is, whole in their
// tooltips.
TEST(Window, NoTextWidensTheWindow) {
    const int usual = [] {
        ControllerHarness h;
        MainWindow window(windowServices(h));
        window.show();
        return window.minimumSizeHint().width();
    }();
    QSettings().setValue("filter/recent", QStringList{QString(210, 'x') + " == 1"});
    ControllerHarness h;
    MainWindow window(windowServices(h));
    window.show();
    EXPECT_EQ(window.minimumSizeHint().width(), usual);
    window.controller().openDocumentWithContentsOfFile(QUORVEX_SAMPLES "/sample-call.pcap");
    ASSERT_TRUE(pumpUntil([&] { return parts(window).callsTable()->model()->rowCount() == 1; }));
    parts(window).filterBar()->prepare("ip.src == 10.0.0.1 && " + QString(10000, 'f') + " == 2");
    EXPECT_FALSE(parts(window).filterBar()->apply());
    QCoreApplication::processEvents();
    EXPECT_TRUE(parts(window).statusText().contains("unknown field"))
        << parts(window).statusText().toStdString() << " / "
        << parts(window).filterBar()->error().toStdString();
    EXPECT_EQ(window.minimumSizeHint().width(), usual);
    EXPECT_LT(usual, 1000);
    QSettings().remove("filter/recent");
}

// One truth: after the jitter buffer changes, either way, every view of the
// calls (the Streams tab, the calls' MOS, the problems) says what
// quorvex-dump says with that buffer; and the ladder's times are the frame
// table's, time reference included.
TEST(Window, EveryViewFollowsTheJitterBufferAndTheTimeReference) {
    QTemporaryDir folder;
    const QString capture = writeCapture(folder.filePath("quality.pcap"), scenarios::qualityCalls);
    const auto dumpLines = [&](const QStringList& arguments) {
        QProcess dump;
        dump.start(QUORVEX_DUMP, arguments + QStringList{"--format", "tsv", capture});
        dump.waitForFinished(60000);
        QStringList lines = QString::fromUtf8(dump.readAllStandardOutput()).split('\n');
        lines.removeAll("");
        lines.removeFirst(); // the header
        return lines;
    };
    ControllerHarness h;
    MainWindow window(windowServices(h));
    window.resize(1366, 768);
    window.show();
    window.controller().openDocumentWithContentsOfFile(capture);
    ProblemsView* problems = parts(window).qualityWatch()->problemsView();
    ASSERT_TRUE(pumpUntil([&] { return problems->table()->model()->rowCount() == 22; }));
    showTab(parts(window).streamsView());
    parts(window).callsTable()->selectAll();
    const QTableView* streams = parts(window).streamsView()->figuresTable();
    const int mos = parts(window).callsTable()->model()->columnCount() - 9;
    for (const int buffer : {5, 50}) {
        SCOPED_TRACE(buffer);
        parts(window).qualityWatch()->setJitterBufferMs(buffer);
        const QString ms = QString::number(buffer);
        const QStringList expected = dumpLines({"--streams", "--jitter-buffer", ms});
        ASSERT_TRUE(pumpUntil([&] {
            return streams->model()->rowCount() == expected.size() &&
                   rowOf(streams, 0).join('\t') == expected.front();
        })) << rowOf(streams, 0).join('\t').toStdString()
            << "\n"
            << expected.front().toStdString();
        for (int row = 0; row < streams->model()->rowCount(); ++row) {
            EXPECT_EQ(rowOf(streams, row).join('\t'), expected[row]) << row;
        }
        const QStringList calls = dumpLines({"--calls", "--jitter-buffer", ms});
        ASSERT_EQ(parts(window).callsTable()->model()->rowCount(), calls.size());
        for (int row = 0; row < calls.size(); ++row) {
            EXPECT_EQ(cell(parts(window).callsTable(), row, mos), calls[row].split('\t')[17])
                << row;
        }
        const int listed = dumpLines({"--problems", "--jitter-buffer", ms}).size();
        EXPECT_TRUE(pumpUntil([&] { return problems->table()->model()->rowCount() == listed; }))
            << problems->table()->model()->rowCount() << " rows, " << listed << " problems";
    }

    // The ladder's time of a frame is the frame table's, since the reference.
    parts(window).callsTable()->selectRow(0);
    showTab(parts(window).callFlowView());
    ASSERT_TRUE(pumpUntil([&] { return parts(window).callFlowView()->stepCount() > 5; }));
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() == "Seconds Since &First Frame") {
            action->trigger();
        }
    }
    const CallFlowView* ladder = parts(window).callFlowView();
    const std::uint32_t reference = ladder->step(2).frameNumber;
    parts(window).framesTable()->selectRow(parts(window).frameModel().rowOfFrame(reference));
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() == "Set or Unset &Time Reference") {
            action->trigger();
        }
    }
    const int time = 10;
    ASSERT_EQ(
        parts(window).frameModel().headerData(time, Qt::Horizontal, Qt::DisplayRole).toString(),
        "Captured");
    for (const int step : {0, 2, 5}) {
        const int row = parts(window).frameModel().rowOfFrame(ladder->step(step).frameNumber);
        EXPECT_EQ(ladder->timeTextOf(step), cell(parts(window).framesTable(), row, time)) << step;
    }
    EXPECT_EQ(ladder->timeTextOf(2), "*REF*");
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() == "&Date and Time") {
            action->trigger(); // as the other tests expect it
        }
    }
    showFirstTabs({parts(window).streamsView(), parts(window).callFlowView()});
}

// Columns of any field: the true values the Parts' columns do not show
// (a DTMF frame's source call), sorted as numbers, in the text quorvex-dump
// -T fields prints, and remembered with their order for the next window.
TEST(Window, ColumnsOfAnyFieldShowSortAndAreRemembered) {
    QSettings().remove("view/fieldColumns");
    QTemporaryDir folder;
    const QString capture = writeCapture(folder.filePath("all-kinds.pcap"), scenarios::allKinds);
    const auto dumped = [&](const char* field) {
        QProcess dump;
        dump.start(QUORVEX_DUMP, {"-T", "fields", "-e", field, capture});
        dump.waitForFinished(60000);
        return QString::fromUtf8(dump.readAllStandardOutput()).split('\n');
    };
    {
        ControllerHarness h;
        MainWindow window(windowServices(h));
        window.show();
        FrameTableModel& frames = parts(window).frameModel();
        // By default, the time since the first frame beside the Parts' Time.
        const QHeaderView* header = parts(window).framesTable()->horizontalHeader();
        ASSERT_EQ(frames.fieldColumns().count(), 1);
        EXPECT_EQ(frames.headerData(header->logicalIndex(header->visualIndex(9) + 1),
                                    Qt::Horizontal, Qt::DisplayRole),
                  "Since First");
        window.controller().openDocumentWithContentsOfFile(capture);
        ASSERT_TRUE(pumpUntil([&] {
            return !frames.capture()->isLoading() &&
                   frames.rowCount() == static_cast<int>(frames.capture()->iaxFrames().size());
        }));
        QString error;
        EXPECT_FALSE(
            parts(window).framesPanel()->columns()->addFieldColumn("iax2.nosuch", "", error));
        EXPECT_EQ(error, "'iax2.nosuch' is not a field");
        ASSERT_TRUE(
            parts(window).framesPanel()->columns()->addFieldColumn("iax2.src_call", "", error));
        const int column = frames.firstFieldColumn() + 1;
        EXPECT_EQ(frames.headerData(column, Qt::Horizontal, Qt::DisplayRole), "Source call");
        const QStringList calls = dumped("iax2.src_call");
        int dtmf = -1;
        for (int row = 0; row < frames.rowCount(); ++row) {
            EXPECT_EQ(cell(parts(window).framesTable(), row, column), calls[row]) << row;
            if (frames.frameAt(row)->facts().frameType == 1 && calls[row] != "0") {
                dtmf = row;
            }
        }
        ASSERT_GE(dtmf, 0);
        EXPECT_EQ(cell(parts(window).framesTable(), dtmf, 7),
                  "00000"); // the Parts' scall, as they say
        parts(window).framesPanel()->sortBy(column, Qt::DescendingOrder);
        ASSERT_TRUE(pumpUntil([&] { return !parts(window).framesPanel()->isSorting(); }));
        for (int row = 1; row < frames.rowCount(); ++row) {
            ASSERT_GE(frames.fieldNumberAt(row - 1, column).value_or(-1),
                      frames.fieldNumberAt(row, column).value_or(-1))
                << row;
        }
    }
    // The next window has them, in their places.
    ControllerHarness h;
    MainWindow window(windowServices(h));
    const auto order = parts(window).framesPanel()->columns()->shownOrder();
    QStringList titles;
    for (const auto& column : order) {
        titles << column.title;
    }
    EXPECT_EQ(titles.mid(titles.indexOf("Info") - 1, 2), (QStringList{"Source call", "Info"}))
        << titles.join(", ").toStdString();
    EXPECT_EQ(titles[titles.indexOf("Time") + 1], "Since First");
    QSettings().remove("view/fieldColumns");
}
