// The pictures the README and the reviews of the window are made from: the
// window on the real public call and on four generated calls, at the two
// screen sizes people have, and each dialog of the menus. Written to
// screenshots/ in the build folder; scripts/screenshots.sh copies the
// README's into docs/images.
#include "app/KvIAXCapture.h"
#include "capturefile/CaptureFileWriter.h"
#include "samples/QualityCalls.h"
#include "ui/CallFlowView.h"
#include "ui/ExportDialog.h"
#include "ui/FrameTableModel.h"
#include "ui/FrameSelection.h"
#include "ui/FramesPanel.h"
#include "ui/MainWindow.h"
#include "ui/StatisticsWindows.h"
#include "ui/StreamsView.h"

#include <QChart>

#include "tests/support/ControllerHarness.h"
#include "tests/support/WindowServices.h"
#include "tests/support/WindowParts.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString folder = QUORVEX_BUILD_DIR "/screenshots";

bool save(QWidget& widget, const QString& name) {
    pumpUntil([] { return false; }, 150); // let it paint
    QDir().mkpath(folder);
    return widget.grab().save(folder + "/" + name + ".png");
}

// The window at `size` with `capture` open and its calls `selected` shown.
struct Shot {
    ControllerHarness h;
    MainWindow window{windowServices(h)};

    Shot(const QString& capture, QSize size, int frames) {
        window.resize(size);
        window.show();
        window.controller().openDocumentWithContentsOfFile(capture);
        pumpUntil([&] { return parts(window).frameModel().rowCount() == frames; });
    }
    void selectCalls(int count) {
        QTableView* calls = parts(window).callsTable();
        for (int row = 0; row < count; ++row) {
            calls->selectionModel()->select(calls->model()->index(row, 0),
                                            QItemSelectionModel::Select |
                                                QItemSelectionModel::Rows);
        }
    }
};

} // namespace

TEST(Screenshots, TheWindowOnTheRealCallAtBothScreenSizes) {
    for (const QSize size : {QSize(1366, 768), QSize(1920, 1080)}) {
        Shot shot(QUORVEX_SOURCE_DIR "/tests/data/public-iax2-call-2005.pcap", size, 50);
        shot.selectCalls(1);
        // The call's frames above, its ladder below, the ACCEPT chosen.
        auto* lower = qobject_cast<QTabWidget*>(
            parts(shot.window).callFlowView()->parentWidget()->parentWidget());
        ASSERT_NE(lower, nullptr);
        lower->setCurrentWidget(parts(shot.window).callFlowView());
        parts(shot.window).callFlowView()->setCurrentStep(2);
        const QString name = QStringLiteral("window-%1x%2").arg(size.width()).arg(size.height());
        EXPECT_TRUE(save(shot.window, name));
    }
}

TEST(Screenshots, SeveralCallsLadderAndTheMenusDialogs) {
    QTemporaryDir temporary;
    const QString capture =
        writeCapture(temporary.filePath("quality.pcap"), scenarios::qualityCalls);
    for (const QSize size : {QSize(1366, 768), QSize(1920, 1080)}) {
        Shot shot(capture, size, 835);
        shot.selectCalls(4);
        parts(shot.window).framesPanel()->setComment(2, "callee never answers the first NEW");
        auto* lower = qobject_cast<QTabWidget*>(
            parts(shot.window).callFlowView()->parentWidget()->parentWidget());
        ASSERT_NE(lower, nullptr);
        lower->setCurrentWidget(parts(shot.window).callFlowView());
        const QString suffix = QStringLiteral("-%1x%2").arg(size.width()).arg(size.height());
        EXPECT_TRUE(save(shot.window, "ladder-four-calls" + suffix));
        // The first call's streams, their late frames and losses marked.
        auto* upper = qobject_cast<QTabWidget*>(
            parts(shot.window).streamsView()->parentWidget()->parentWidget());
        upper->setCurrentWidget(parts(shot.window).streamsView());
        pumpUntil(
            [&] { return !parts(shot.window).streamsView()->lossChart()->series().isEmpty(); });
        EXPECT_TRUE(save(shot.window, "streams-four-calls" + suffix));
        upper->setCurrentIndex(0);
    }
    Shot shot(capture, QSize(1366, 768), 835);
    ExportDialog exportDialog(parts(shot.window).framesPanel()->selection(),
                              "Export Specified Packets", {"pcap", "pcapng"}, &shot.window);
    exportDialog.show();
    EXPECT_TRUE(save(exportDialog, "export-dialog"));
    IoGraphDialog graph(*parts(shot.window).frameModel().capture(), &shot.window);
    graph.setFilter(0, "iax2.type == 2");
    graph.setFilter(1, "iax2.type == 6");
    graph.apply();
    graph.show();
    pumpUntil([&] { return !graph.isCounting(); });
    EXPECT_TRUE(save(graph, "io-graph"));
    for (const auto& [name, show] :
         {std::pair<QString, std::function<void()>>{
              "properties",
              [&] { showProperties(&shot.window, *parts(shot.window).frameModel().capture()); }},
          {"frame-counts",
           [&] {
               showFrameCounts(&shot.window, *parts(shot.window).frameModel().capture(), nullptr);
           }},
          {"conversations",
           [&] { showConversations(&shot.window, *parts(shot.window).frameModel().capture()); }}}) {
        show(); // the table comes once the frames are summed
        QDialog* dialog = nullptr;
        pumpUntil([&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* d = qobject_cast<QDialog*>(top);
                    d != nullptr && d->isVisible() && d != &exportDialog && d != &graph) {
                    dialog = d;
                }
            }
            return dialog != nullptr;
        });
        ASSERT_NE(dialog, nullptr) << name.toStdString();
        EXPECT_TRUE(save(*dialog, name));
        dialog->close();
    }
}
