// The window's File, Edit, Go, Statistics and Help menus on a generated
// capture: exports read back, marks, copies, ranges and the IO graph.
#include "app/FrameComments.h"
#include "app/KvIAXCapture.h"
#include "capturefile/CaptureFileWriter.h"
#include "samples/QualityCalls.h"
#include "samples/Scenarios.h"
#include "ui/ExportDialog.h"
#include "ui/FileExports.h"
#include "ui/FrameTableModel.h"
#include "ui/FrameSelection.h"
#include "ui/FramesPanel.h"
#include "ui/HelpMenu.h"
#include "ui/UniformRowsView.h"
#include "ui/MainWindow.h"
#include "ui/RecentFiles.h"
#include "ui/StatisticsWindows.h"

#include "tests/support/ControllerHarness.h"
#include "tests/support/WindowServices.h"
#include "tests/support/WindowParts.h"

#include <QApplication>
#include <QShortcut>
#include <QChart>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineSeries>
#include <QTableView>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

#include <numeric>

#include <pcap/pcap.h>

namespace {

// The packets of a capture file, as libpcap reads them.
std::vector<QByteArray> packetsOf(const QString& path) {
    char error[PCAP_ERRBUF_SIZE];
    pcap_t* handle = pcap_open_offline(path.toLocal8Bit().constData(), error);
    std::vector<QByteArray> packets;
    if (handle == nullptr) {
        return packets;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(handle, &header, &data) == 1) {
        packets.emplace_back(reinterpret_cast<const char*>(data),
                             static_cast<qsizetype>(header->caplen));
    }
    pcap_close(handle);
    return packets;
}

// The window with the four quality calls open (835 frames).
struct OpenWindow {
    QTemporaryDir folder;
    QString capture = folder.filePath("quality.pcap");
    ControllerHarness h;
    std::unique_ptr<MainWindow> window;

    OpenWindow() {
        writeCapture(capture, scenarios::qualityCalls);
        window = std::make_unique<MainWindow>(windowServices(h));
        window->show();
        window->controller().openDocumentWithContentsOfFile(capture);
        // Loaded, and its four calls listed: the calls' table follows the
        // load a turn of the loop or more behind.
        EXPECT_TRUE(pumpUntil([&] {
            return parts(*window).frameModel().rowCount() == 835 &&
                   !parts(*window).frameModel().capture()->isLoading() &&
                   parts(*window).callsTable()->model()->rowCount() == 4;
        }));
    }
};

} // namespace

// Statistics > Frame Counts of a selected call counts the frames the table
// shows for it.
TEST(WindowMenus, FrameCountsOfTheSelectedCallsCountTheFramesShownForThem) {
    OpenWindow open;
    MainWindow& window = *open.window;
    parts(window).callsTable()->selectRow(0);
    ASSERT_TRUE(pumpUntil([&] { return parts(window).frameModel().rowCount() < 835; }));
    const int shown = parts(window).frameModel().rowCount();
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() == "Frame &Counts") {
            action->trigger();
        }
    }
    const QTableView* counts = nullptr;
    ASSERT_TRUE(pumpUntil([&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->windowTitle() == "Frame Counts of the Selected Calls") {
                counts = top->findChild<QTableView*>();
            }
        }
        return counts != nullptr;
    }));
    int frames = 0;
    for (int row = 0; row < counts->model()->rowCount(); ++row) {
        frames += counts->model()->index(row, 2).data().toInt();
    }
    EXPECT_GT(shown, 0);
    EXPECT_EQ(frames, shown);
}

TEST(WindowMenus, ExportsTheChosenFramesAsPacketsWithCommentsAndAsDissections) {
    OpenWindow open;
    MainWindow& window = *open.window;
    ASSERT_EQ(parts(window).frameModel().rowCount(), 835);
    EXPECT_EQ(parts(window).recentFiles()->files().value(0),
              QFileInfo(open.capture).absoluteFilePath());

    // Frames 1 and 3 as pcapng: their packets unchanged, 3's comment with it.
    ASSERT_TRUE(parts(window).framesPanel()->setComment(3, "caller hears nothing"));
    EXPECT_EQ(parts(window).framesPanel()->selection().commentOf(3), "caller hears nothing");
    const QString pcapng = open.folder.filePath("two.pcapng");
    QString error;
    // An export is written a slice at a time, one at a time.
    FileExports* exports = parts(window).fileExports();
    bool exportedOk = false;
    QString lastNote;
    QObject::connect(exports, &FileExports::exported, [&](bool ok) { exportedOk = ok; });
    QObject::connect(exports, &FileExports::note, [&](const QString& text) { lastNote = text; });
    const auto written = [&] {
        return pumpUntil([&] { return !exports->isExporting(); }) && exportedOk;
    };
    ASSERT_TRUE(exports->exportPackets({3, 1}, pcapng, error)) << error.toStdString();
    EXPECT_FALSE(exports->exportPackets({2}, open.folder.filePath("other.pcap"), error));
    ASSERT_TRUE(written());
    const auto original = packetsOf(open.capture);
    const auto exported = packetsOf(pcapng);
    ASSERT_EQ(exported.size(), 2u);
    EXPECT_EQ(exported[0], original[0]);
    EXPECT_EQ(exported[1], original[2]);
    QFile file(pcapng);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("caller hears nothing"));
    // Never over an existing file: it stays as it was.
    const qint64 size = QFileInfo(pcapng).size();
    EXPECT_FALSE(parts(window).fileExports()->exportPackets({5}, pcapng, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(QFileInfo(pcapng).size(), size);

    // The comment is kept beside the user's data, and read again next time.
    const FrameComments* comments = parts(window).framesPanel()->selection().comments();
    ASSERT_NE(comments, nullptr);
    FrameComments again(
        QFileInfo(QString::fromStdString(comments->sideFile())).absolutePath().toStdString(),
        open.capture.toStdString());
    EXPECT_FALSE(again.load().has_value());
    EXPECT_EQ(again.of(3), "caller hears nothing");

    // Dissections: JSON an array of the frames' layers, CSV the rows shown.
    const QString json = open.folder.filePath("two.json");
    ASSERT_TRUE(exports->exportDissections({1, 2}, FileExports::Dissection::Json, json, error))
        << error.toStdString();
    ASSERT_TRUE(written());
    QFile jsonFile(json);
    ASSERT_TRUE(jsonFile.open(QIODevice::ReadOnly));
    const QJsonDocument document = QJsonDocument::fromJson(jsonFile.readAll());
    ASSERT_TRUE(document.isArray());
    EXPECT_EQ(document.array().size(), 2);
    EXPECT_TRUE(
        document.array()[0].toObject()["_source"].toObject()["layers"].toObject().contains("iax2"));
    // The rows shown, sorted last to first: listed as the export goes, then
    // written a block of rows at a time under one titles line.
    parts(window).framesPanel()->sortBy(0, Qt::DescendingOrder);
    ASSERT_TRUE(pumpUntil([&] { return !parts(window).framesPanel()->isSorting(); }));
    ExportDialog shown(parts(window).framesPanel()->selection(), "Export", {"csv"});
    shown.choose(ExportDialog::Scope::Shown);
    auto rows = shown.frames(error);
    ASSERT_TRUE(rows.has_value()) << error.toStdString();
    const QString csv = open.folder.filePath("all.csv");
    ASSERT_TRUE(
        exports->exportDissections(std::move(*rows), FileExports::Dissection::Csv, csv, error));
    ASSERT_TRUE(written());
    EXPECT_TRUE(lastNote.startsWith("835 frame(s) exported to")) << lastNote.toStdString();
    QFile csvFile(csv);
    ASSERT_TRUE(csvFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csvFile.readAll().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 1 + 835);
    EXPECT_TRUE(lines[0].startsWith("No.,")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("835,")) << lines[1].toStdString();
    EXPECT_TRUE(lines[835].startsWith("1,")) << lines[835].toStdString();
    // The selected rows, runs of them chosen in any order, in the order shown.
    QItemSelectionModel* selection = parts(window).framesTable()->selectionModel();
    const auto rowsOf = [&](int first, int last) {
        return QItemSelection(parts(window).frameModel().index(first, 0),
                              parts(window).frameModel().index(last, 0));
    };
    selection->select(rowsOf(10, 11),
                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection->select(rowsOf(2, 3), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(rowsOf(3, 4), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    shown.choose(ExportDialog::Scope::Selected);
    const QString selected = open.folder.filePath("selected.csv");
    ASSERT_TRUE(exports->exportDissections(*shown.frames(error), FileExports::Dissection::Csv,
                                           selected, error));
    ASSERT_TRUE(written());
    QFile selectedFile(selected);
    ASSERT_TRUE(selectedFile.open(QIODevice::ReadOnly));
    QStringList firstCells;
    for (const QByteArray& line : selectedFile.readAll().trimmed().split('\n')) {
        firstCells << QString::fromUtf8(line.split(',').value(0));
    }
    EXPECT_EQ(firstCells, (QStringList{"No.", "833", "832", "831", "825", "824"}));
    // Rows that change before they are listed end the export, and no file is made.
    const QString changed = open.folder.filePath("changed.pcap");
    ASSERT_TRUE(exports->exportPackets(*shown.frames(error), changed, error));
    parts(window).framesPanel()->sortBy(-1, Qt::AscendingOrder);
    EXPECT_FALSE(written());
    EXPECT_EQ(lastNote, "nothing exported: the frames shown changed while they were listed");
    EXPECT_FALSE(QFileInfo::exists(changed));
}

TEST(WindowMenus, MarksCopiesAndTimeReferencesFollowTheRowsShown) {
    OpenWindow open;
    MainWindow& window = *open.window;
    FrameTableModel& model = parts(window).frameModel();
    model.toggleMark(10);
    model.toggleMark(5);
    EXPECT_EQ(model.marks(), (std::vector<std::uint32_t>{5, 10}));
    EXPECT_EQ(model.nextMarkedRow(-1, true), model.rowOfFrame(5));
    EXPECT_EQ(model.nextMarkedRow(model.rowOfFrame(5), true), model.rowOfFrame(10));
    EXPECT_EQ(model.nextMarkedRow(model.rowOfFrame(10), true), -1);
    EXPECT_EQ(model.nextMarkedRow(model.rowOfFrame(10), false), model.rowOfFrame(5));
    model.toggleMark(10);
    EXPECT_FALSE(model.isMarked(10));

    // The marked frames are an export's choice too.
    ExportDialog dialog(parts(window).framesPanel()->selection(), "Export", {"pcap"});
    dialog.choose(ExportDialog::Scope::Marked);
    QString error;
    EXPECT_EQ(dialog.frames(error)->listed, (std::vector<std::uint32_t>{5}));
    dialog.choose(ExportDialog::Scope::Range, "7-9, 2");
    EXPECT_EQ(dialog.frames(error)->listed, (std::vector<std::uint32_t>{2, 7, 8, 9}));

    // Copy: a header line, then each selected row, tab- or comma-separated.
    parts(window).framesTable()->selectRow(0);
    const QStringList text =
        parts(window).framesPanel()->selection().text(false).trimmed().split('\n');
    ASSERT_EQ(text.size(), 2);
    EXPECT_EQ(text[0].split('\t').size(), text[1].split('\t').size());
    EXPECT_EQ(text[1].split('\t').value(0), "1");

    // A time reference: its row says *REF*, later rows count from it.
    const int captured = model.capturedColumn();
    model.setTimeFormat(framedisplay::TimeFormat::SinceFirst);
    model.setTimeReference(4);
    EXPECT_EQ(model.index(model.rowOfFrame(4), captured).data().toString(), "*REF*");
    model.setTimeReference(0);
    EXPECT_NE(model.index(model.rowOfFrame(4), captured).data().toString(), "*REF*");
}

TEST(WindowMenus, FrameRangesAreReadAsPeopleWriteThem) {
    const struct {
        const char* text;
        std::optional<std::vector<std::uint32_t>> frames;
    } cases[] = {
        {"1-3, 7", std::vector<std::uint32_t>{1, 2, 3, 7}},
        {" 4 ,4,2-2 ", std::vector<std::uint32_t>{2, 4}},
        {"9-10", std::vector<std::uint32_t>{9, 10}},
        {"5-2", std::nullopt},
        {"0", std::nullopt},
        {"11", std::nullopt}, // past the last frame
        {"3-", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"1-99999999999999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_EQ(parseFrameRange(c.text, 10, error), c.frames) << c.text;
        EXPECT_EQ(error.isEmpty(), c.frames.has_value()) << c.text;
    }
}

TEST(WindowMenus, TheIoGraphCountsEveryFrameAndEachFiltersOwn) {
    OpenWindow open;
    IoGraphDialog graph(*parts(*open.window).frameModel().capture());
    graph.setFilter(0, "iax2.type == 2");
    graph.setFilter(1, "iax2.type == (");
    graph.apply();
    EXPECT_FALSE(graph.isCounting()); // a typo stops it, with the error shown
    graph.setFilter(1, "");
    graph.apply();
    ASSERT_TRUE(pumpUntil([&] { return !graph.isCounting(); }));
    const auto series = graph.chart()->series();
    ASSERT_EQ(series.size(), 2);
    const auto sum = [](QAbstractSeries* line) {
        double total = 0;
        for (const QPointF& point : static_cast<QLineSeries*>(line)->points()) {
            total += point.y();
        }
        return total;
    };
    EXPECT_EQ(sum(series[0]), 835);
    const auto& frames = parts(*open.window).frameModel().capture()->iaxFrames();
    const auto voice = std::count_if(frames.begin(), frames.end(), [](const auto& frame) {
        return frame->facts().kind() == FrameKind::Full && frame->facts().frameType == 2;
    });
    EXPECT_EQ(sum(series[1]), static_cast<double>(voice));
    EXPECT_GT(voice, 0);
    const QString png = open.folder.filePath("io.png");
    const QString svg = open.folder.filePath("io.svg");
    EXPECT_TRUE(graph.exportTo(png));
    EXPECT_TRUE(graph.exportTo(svg));
    EXPECT_GT(QFileInfo(png).size(), 1000);
    EXPECT_GT(QFileInfo(svg).size(), 1000);
}

TEST(WindowMenus, AboutNamesTheVersionAndTheLibrariesFound) {
    const QString about = aboutText();
    EXPECT_TRUE(about.contains("Quorvex " QUORVEX_VERSION)) << about.toStdString();
    for (const char* library : {"Qt ", "libpcap", "spandsp", "Speex", "bcg729"}) {
        EXPECT_TRUE(about.contains(library, Qt::CaseInsensitive)) << library;
    }
}

// Each key sequence fires one thing: Qt fires neither of two actions that
// share one ("Ambiguous shortcut overload").
TEST(WindowMenus, EveryShortcutBelongsToOneAction) {
    ControllerHarness h;
    MainWindow window(windowServices(h));
    std::map<QString, QStringList> owners;
    for (const QAction* action : window.findChildren<QAction*>()) {
        for (const QKeySequence& keys : action->shortcuts()) {
            owners[keys.toString()] << action->text();
        }
    }
    for (const QShortcut* shortcut : window.findChildren<QShortcut*>()) {
        owners[shortcut->key().toString()] << shortcut->objectName();
    }
    ASSERT_GT(owners.size(), 10u);
    for (const auto& [keys, actions] : owners) {
        EXPECT_EQ(actions.size(), 1)
            << keys.toStdString() << ": " << actions.join(", ").toStdString();
    }
}
