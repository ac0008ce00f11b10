#include "ui/MainWindow.h"
#include "ui/ElidedLabel.h"

#include "app/CallSelection.h"
#include "capture/CaptureKeys.h"
#include "ui/CallFlowView.h"
#include "ui/CallPanel.h"
#include "ui/ColumnSizing.h"
#include "ui/HeaderMenu.h"
#include "ui/RecentFiles.h"
#include "ui/StreamsView.h"
#include "ui/CallsPanel.h"
#include "ui/CapturesPanel.h"
#include "ui/ElementTableModel.h"
#include "ui/FrameTableModel.h"
#include "ui/UniformRowsView.h"
#include "ui/FrameSelection.h"
#include "ui/FramesPanel.h"
#include "ui/SecretsDialog.h"
#include "app/Secrets.h"
#include "ui/PacketDetailsView.h"
#include "ui/ProblemsView.h"
#include "ui/QualityWatch.h"
#include "ui/RunProgress.h"
#include "ui_MainWindow.h"

#include "capturefile/PacketFileReader.h"

#include <QApplication>
#include <QtConcurrent>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QTabWidget>

MainWindow::MainWindow(WindowServices services, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>()), services_(std::move(services)) {
    ui_->setupUi(this);
    // The interface description creates the one controller.
    ControllerServices controllerServices;
    controllerServices.captures = services_.captures;
    controllerServices.captures.alert =
        services_.alert != nullptr ? services_.alert : static_cast<CaptureAlert*>(&alert_);
    controllerServices.captures.liveSettings = services_.liveSettings;
    secrets_ = decryptionsecrets::load();
    controllerServices.captures.secrets = &secrets_;
    controllerServices.panels =
        services_.panels != nullptr ? services_.panels : static_cast<FilePanels*>(&panels_);
    controllerServices.beep =
        services_.beep != nullptr ? services_.beep : static_cast<SystemBeep*>(&beep_);
    controller_ = new KvController(controllerServices, this);

    buildPanels();
    buildMenus();
    rememberLayout();
    statusLabel_ = new ElidedLabel(this);
    statusLabel_->setObjectName(QStringLiteral("statusLabel"));
    ui_->statusBar->addWidget(statusLabel_, 1);
    progress_ = new RunProgress(this);
    ui_->statusBar->addPermanentWidget(progress_);
    captureSelected(captures_->selected());
    controller_->awakeFromNib();
}

MainWindow::~MainWindow() {
    layout_.save(*this);
    // Panels and models first, then the controller and its captures, while
    // the widgets their signals reach still exist.
    ui_->elementsTable->setModel(nullptr);
    delete elementModel_;
    delete calls_;
    delete frames_;
    delete captures_;
    delete controller_;
}

// The splitter of the interface description holds the capture list, the
// frame panel (filter bars and the tabs beside the frames) and the tabs
// beside the packet details.
void MainWindow::setSecrets(std::vector<std::string> secrets) {
    if (secrets == secrets_) {
        return;
    }
    secrets_ = std::move(secrets);
    decryptionsecrets::save(secrets_);
    // The open capture is decoded again, with the secrets of now.
    const KvIAXCapture* capture = frames_->model().capture();
    if (capture != nullptr && whyNotReadAgain(capture->loadedFile()).empty() &&
        !capture->isLiveRunning()) {
        controller_->openDocumentWithContentsOfFile(
            QFile::decodeName(capture->loadedFile().c_str()));
    }
}

void MainWindow::selectNextProblem() {
    const int row = frames_->model().nextProblemRow(ui_->framesTable->currentIndex().row());
    if (row < 0) {
        frames_->setNote(tr("no frame after this one has a problem"));
        QApplication::beep();
        return;
    }
    frames_->setNote({});
    frames_->tabs()->setCurrentWidget(ui_->framesTable);
    frames_->selectRow(row);
}

void MainWindow::captureSelected(KvIAXCapture* capture) {
    if (capture == frames_->model().capture() && capture != nullptr) {
        return;
    }
    statusNote_.clear();
    ++callsSelection_;
    call_->showCalls(nullptr, {});
    frames_->setCapture(capture);
    frameSelected(0);
    calls_->setCapture(capture);
    quality_->setCapture(capture);
    progress_->setCapture(capture);
    updateStatus();
}

void MainWindow::callsSelected(const std::vector<std::size_t>& calls) {
    KvIAXCapture* capture = frames_->model().capture();
    statusNote_.clear();
    ++callsSelection_;
    if (capture == nullptr || calls.empty()) {
        frames_->setCallFrames(std::nullopt);
        call_->showCalls(nullptr, {});
        updateStatus();
        return;
    }
    if (callselection::frameCountOf(*capture, calls) < callselection::framesForAWorker) {
        frames_->setCallFrames(callselection::framesOf(capture->callTracker().calls(), calls));
    } else {
        // Millions of frames: gathered away from the window, from trackers
        // that stay as they are until the worker lets go of them.
        callFramesSelection_ = callsSelection_;
        callFramesCapture_ = capture;
        callFrames_.setFuture(
            QtConcurrent::run([capture = static_cast<const KvIAXCapture*>(capture),
                               held = capture->holdTrackers(), calls]() mutable {
                auto numbers = callselection::framesOf(capture->callTracker().calls(), calls);
                held.reset();
                return numbers;
            }));
    }
    call_->showCalls(capture, calls);
    updateStatus();
}

void MainWindow::frameSelected(std::uint32_t number) {
    KvIAXCapture* capture = frames_->model().capture();
    const bool known = capture != nullptr && number >= 1 && number <= capture->iaxFrames().size();
    elementModel_->setFrame(known ? capture->iaxFrames()[number - 1] : nullptr);
    detailsView_->showFrame(known ? capture : nullptr, known ? number : 0,
                            known ? quality_->expertLines(number) : std::vector<std::string>{},
                            known ? frames_->selection().commentOf(number) : QString());
}

void MainWindow::saveSelectedCalls() {
    const KvIAXCapture* capture = frames_->model().capture();
    const auto calls = calls_->selectedCalls();
    if (capture == nullptr || calls.empty()) {
        QApplication::beep(); // nothing selected to save
        return;
    }
    controller_->saveCalls(*capture, calls);
}

void MainWindow::updateStatus() {
    if (statusLabel_ == nullptr) {
        return;
    }
    const KvIAXCapture* capture = frames_->model().capture();
    // The title names what the selected capture read.
    const QString source =
        capture != nullptr ? QString::fromStdString(capture->sourceName()) : QString();
    setWindowTitle(source.isEmpty() ? tr("Quorvex") : source + " \u2014 " + tr("Quorvex"));
    // A file read is remembered once, as soon as its capture shows it.
    if (capture != nullptr && whyNotReadAgain(capture->lastRunFile()).empty() &&
        !capture->isLiveRunning()) {
        const QString file = QString::fromStdString(capture->lastRunFile());
        if (file != recentFile_ && !file.endsWith(KvController::temporaryCaptureFile)) {
            recentFile_ = file;
            recent_->add(file);
        }
    }
    if (capture == nullptr) {
        statusLabel_->clear();
        return;
    }
    QString text = frames_->statusText();
    text += "  \u2014  " + capture->valueForKey(keyText(capturekeys::status)).toString();
    const QString file = capture->valueForKey(keyText(capturekeys::captureFile)).toString();
    if (!file.isEmpty()) {
        text += "  \u2014  " + tr("writing %1").arg(file);
    }
    if (const QString quality = quality_ != nullptr ? quality_->statusText() : QString();
        !quality.isEmpty()) {
        text += "  \u2014  " + quality;
    }
    const QString note = !frames_->note().isEmpty() ? frames_->note() : statusNote_;
    if (!note.isEmpty()) {
        text += "  \u2014  " + note;
    }
    statusLabel_->setText(text);
}

// The window, its splitters, its tables' columns and its tabs, as the user
// left them; a table with nothing remembered sizes its columns to its first
// rows.
void MainWindow::rememberLayout() {
    layout_.track(ui_->splitter, "main");
    const auto* streams = call_->streamsView();
    for (int i = 0; i < streams->splitters().size(); ++i) {
        layout_.track(streams->splitters()[i], "streams" + QString::number(i));
    }
    // The frame table sorts off the main thread, the problems through their
    // own model, the capture list not at all (its rows carry their buttons):
    // the others sort through their models on a header click.
    const std::pair<QHeaderView*, const char*> tables[] = {
        {ui_->capturesTable->horizontalHeader(), "captures"},
        {ui_->framesTable->horizontalHeader(), "frames"},
        {ui_->elementsTable->horizontalHeader(), "elements"},
        {calls_->callsTable()->horizontalHeader(), "calls"},
        {calls_->registrationsTable()->horizontalHeader(), "registrations"},
        {quality_->problemsView()->table()->horizontalHeader(), "problems"},
        {streams->figuresTable()->horizontalHeader(), "streams"},
        {streams->packetsTable()->horizontalHeader(), "streamPackets"},
    };
    for (QTableView* table :
         {ui_->elementsTable, calls_->callsTable(), calls_->registrationsTable(),
          streams->figuresTable(), streams->packetsTable()}) {
        sortOnHeaderClicks(table);
    }
    for (const auto& [columns, name] : tables) {
        layout_.track(columns, name);
        addHeaderMenu(columns);
    }
    layout_.track(frames_->tabs(), "upper");
    layout_.track(lowerTabs_, "lower");
    if (!layout_.restore(*this)) {
        // A first start: large, but never past the screen.
        const QRect screen = this->screen()->availableGeometry();
        resize(std::min(1280, screen.width()), std::min(800, screen.height() - 40));
    }
    for (const auto& [columns, name] : tables) {
        if (!layout_.wasRestored(columns)) {
            ColumnSizing::follow(columns);
        }
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    layout_.save(*this);
    QMainWindow::closeEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) {
        controller_->openDocumentWithContentsOfFile(urls.first().toLocalFile());
        event->acceptProposedAction();
    }
}
