#include "ui/MainWindow.h"
#include "ui/ElidedLabel.h"

#include "app/CallSelection.h"
#include "capture/CaptureKeys.h"
#include "ui/CallFlowView.h"
#include "ui/CallPanel.h"
#include "ui/StreamsView.h"
#include "ui/CallsPanel.h"
#include "ui/ColumnChooser.h"
#include "ui/ColumnSizing.h"
#include "ui/CapturesPanel.h"
#include "ui/ElementTableModel.h"
#include "ui/FrameTableModel.h"
#include "ui/UniformRowsView.h"
#include "ui/FrameSelection.h"
#include "ui/FramesPanel.h"
#include "ui/FileExports.h"
#include "ui/HeaderMenu.h"
#include "ui/HelpMenu.h"
#include "ui/SecretsDialog.h"
#include "ui/TrackerTableModel.h"
#include "app/Secrets.h"
#include "ui/PacketDetailsView.h"
#include "ui/ProblemsView.h"
#include "ui/QualityWatch.h"
#include "ui/RecentFiles.h"
#include "ui/RunProgress.h"
#include "ui/StatisticsWindows.h"
#include "ui_MainWindow.h"

#include "capturefile/PacketFileReader.h"

#include <QApplication>
#include <QtConcurrent>
#include <QCloseEvent>
#include <QScreen>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTabWidget>

namespace {

KeyColumns columnsOf(const QAbstractItemView* view) {
    return {view->property("columnKeys").toStringList(),
            view->property("columnTitles").toStringList()};
}

QString withoutMnemonic(QString title) {
    return title.remove('&');
}

} // namespace

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

QTableView* MainWindow::capturesTable() const {
    return ui_->capturesTable;
}
UniformRowsView* MainWindow::framesTable() const {
    return ui_->framesTable;
}
QTableView* MainWindow::elementsTable() const {
    return ui_->elementsTable;
}
FrameTableModel& MainWindow::frameModel() const {
    return frames_->model();
}
QTableView* MainWindow::callsTable() const {
    return calls_->callsTable();
}
QTableView* MainWindow::registrationsTable() const {
    return calls_->registrationsTable();
}
CallFlowView* MainWindow::callFlowView() const {
    return call_->flowView();
}
StreamsView* MainWindow::streamsView() const {
    return call_->streamsView();
}
PlayerView* MainWindow::playerView() const {
    return call_->playerView();
}
DisplayFilterBar* MainWindow::filterBar() const {
    return frames_->filterBar();
}
FindBar* MainWindow::findBar() const {
    return frames_->findBar();
}
bool MainWindow::isFiltering() const {
    return frames_->isFiltering();
}
bool MainWindow::goToFrame(std::uint32_t number) {
    return frames_->goToFrame(number);
}
void MainWindow::filterOnFrameCell(const QModelIndex& index, bool apply) {
    frames_->filterOnFrameCell(index, apply);
}
void MainWindow::filterOnElement(const QModelIndex& index, bool apply) {
    frames_->filterOnElement(static_cast<std::size_t>(elementModel_->elementAt(index.row())),
                             apply);
}

QString MainWindow::statusText() const {
    return statusLabel_->text();
}

// The splitter of the interface description holds the capture list, the
// frame panel (filter bars and the tabs beside the frames) and the tabs
// beside the packet details.
void MainWindow::buildPanels() {
    captures_ = new CapturesPanel(*controller_, ui_->capturesTable, columnsOf(ui_->capturesTable));
    connect(captures_, &CapturesPanel::captureSelected, this, &MainWindow::captureSelected);
    connect(captures_, &CapturesPanel::rowsChanged, this, &MainWindow::updateStatus);
    captures_->addInterfaceChooser(ui_->toolBar, services_.liveSettings);

    const int framesAt = ui_->splitter->indexOf(ui_->framesTable);
    frames_ = new FramesPanel(ui_->framesTable, columnsOf(ui_->framesTable), this);
    ui_->splitter->insertWidget(framesAt, frames_);
    connect(frames_, &FramesPanel::frameSelected, this, &MainWindow::frameSelected);
    connect(frames_, &FramesPanel::statusChanged, this, &MainWindow::updateStatus);
    connect(frames_, &FramesPanel::commentsChanged, this,
            [this] { frameSelected(frames_->currentFrame()); });
    connect(ui_->framesTable, &QAbstractItemView::doubleClicked, this,
            [this] { controller_->dblClick(); });

    const int elementsAt = ui_->splitter->indexOf(ui_->elementsTable);
    lowerTabs_ = new QTabWidget(this);
    ui_->splitter->insertWidget(elementsAt, lowerTabs_);
    // The selected frame's details and bytes, as the packet analyzers show them.
    detailsView_ = new PacketDetailsView(lowerTabs_);
    lowerTabs_->addTab(detailsView_, tr("Pac&ket"));
    connect(detailsView_, &PacketDetailsView::filterRequested, this,
            [this](const QString& expression, bool apply) {
                frames_->useAsFilter(expression.isEmpty() ? std::nullopt
                                                          : std::optional(expression.toStdString()),
                                     apply);
            });
    connect(detailsView_, &PacketDetailsView::columnRequested, this,
            [this](const QString& field, const QString& title) {
                QString error;
                if (!frames_->columns()->addFieldColumn(field, title, error)) {
                    statusNote_ = error;
                    updateStatus();
                }
            });
    elementModel_ = new ElementTableModel(columnsOf(ui_->elementsTable), this);
    ui_->elementsTable->setModel(elementModel_);
    ui_->elementsTable->verticalHeader()->hide();
    ui_->elementsTable->horizontalHeader()->setStretchLastSection(true);
    ui_->elementsTable->setColumnWidth(0, 260);
    lowerTabs_->addTab(ui_->elementsTable, tr("&Elements"));
    ui_->elementsTable->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui_->elementsTable, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) {
                const QModelIndex index = ui_->elementsTable->indexAt(at);
                if (!index.isValid()) {
                    return;
                }
                QMenu menu(this);
                for (const bool apply : {true, false}) {
                    menu.addAction(apply ? tr("Apply as Filter") : tr("Prepare as Filter"), this,
                                   [=, this] { filterOnElement(index, apply); });
                }
                menu.exec(ui_->elementsTable->viewport()->mapToGlobal(at));
            });

    // The calls and registrations follow the frames as they arrive;
    // selecting calls shows only their frames, and selecting none all again.
    calls_ = new CallsPanel(frames_->tabs());
    connect(calls_, &CallsPanel::callsSelected, this, &MainWindow::callsSelected);
    connect(&callFrames_, &QFutureWatcher<std::vector<std::uint32_t>>::finished, this, [this] {
        if (callFramesSelection_ == callsSelection_ && callFramesCapture_ != nullptr &&
            callFramesCapture_ == frames_->model().capture()) {
            frames_->setCallFrames(callFrames_.future().takeResult());
            updateStatus();
        }
    });
    connect(calls_, &CallsPanel::callOpened, this,
            [this] { frames_->tabs()->setCurrentWidget(ui_->framesTable); });
    FilePanels& panels =
        services_.panels != nullptr ? *services_.panels : static_cast<FilePanels&>(panels_);
    call_ = new CallPanel(frames_->tabs(), lowerTabs_, panels, this);
    connect(call_, &CallPanel::frameActivated, this, [this](quint32 frame, bool fromLadder) {
        if (fromLadder) {
            frames_->tabs()->setCurrentWidget(ui_->framesTable);
        }
        frames_->selectFrame(frame);
    });
    // The ladder's times follow the frame table's; its rows show the comments.
    const auto followTimes = [this] {
        call_->setTimeFormat(frames_->model().timeFormat(), frames_->model().timeReference());
    };
    followTimes();
    connect(frames_, &FramesPanel::timeFormatChanged, this, followTimes);
    call_->setNotes([this](quint32 frame) { return frames_->selection().commentOf(frame); });
    connect(frames_, &FramesPanel::commentsChanged, call_, &CallPanel::refreshNotes);
    connect(call_, &CallPanel::commentRequested, frames_, &FramesPanel::askComment);
    connect(call_, &CallPanel::note, this, [this](const QString& text) {
        statusNote_ = text;
        updateStatus();
    });
    ui_->splitter->setSizes({70, 430, 260});
}

void MainWindow::buildMenus() {
    connect(ui_->actionOpen, &QAction::triggered, this,
            [this] { controller_->openDocument(ui_->actionOpen); });
    connect(ui_->actionSave, &QAction::triggered, this,
            [this] { controller_->saveDocument(ui_->actionSave); });
    connect(ui_->actionSaveCalls, &QAction::triggered, this, &MainWindow::saveSelectedCalls);
    connect(ui_->actionQuit, &QAction::triggered, this, &QWidget::close);
    connect(ui_->menuFile, &QMenu::aboutToShow, this, [this] {
        for (QAction* action : {ui_->actionOpen, ui_->actionSave}) {
            action->setEnabled(controller_->validateMenuItem(withoutMnemonic(action->text())));
        }
    });
    buildFileMenu();
    editMenu_ = new QMenu(tr("&Edit"), this);
    // After File, as in other programs.
    menuBar()->insertMenu(menuBar()->actions().value(1), editMenu_);
    frames_->addEditActions(editMenu_);
    viewMenu_ = menuBar()->addMenu(tr("&View"));
    frames_->addViewMenus(viewMenu_);
    frames_->addGoMenu(menuBar()->addMenu(tr("&Go")));
    buildStatisticsMenu(menuBar()->addMenu(tr("&Statistics")));
    call_->addVoiceMenu(menuBar()->addMenu(tr("V&oice")));
    buildQualityViews();
    buildDecryption();
    addHelpMenu(menuBar()->addMenu(tr("&Help")), this);
}

// Open Recent after Open; the exports and the file's properties after Save.
void MainWindow::buildFileMenu() {
    QMenu* recentMenu = new QMenu(tr("Open &Recent"), this);
    ui_->menuFile->insertMenu(ui_->actionSave, recentMenu);
    recent_ = new RecentFiles(recentMenu);
    connect(recent_, &RecentFiles::chosen, this, [this](const QString& path) {
        if (!QFileInfo::exists(path)) {
            statusNote_ = tr("%1 is gone").arg(QDir::toNativeSeparators(path));
            updateStatus();
            QApplication::beep();
            return;
        }
        controller_->openDocumentWithContentsOfFile(path);
    });
    FilePanels& panels =
        services_.panels != nullptr ? *services_.panels : static_cast<FilePanels&>(panels_);
    exports_ = new FileExports(frames_->selection(), panels, this);
    connect(exports_, &FileExports::note, this, [this](const QString& text) {
        statusNote_ = text;
        updateStatus();
    });
    QAction* before = ui_->actionQuit;
    ui_->menuFile->insertSeparator(before);
    QMenu holder;
    exports_->addTo(&holder);
    ui_->menuFile->insertActions(before, holder.actions());
    QAction* properties = new QAction(tr("&Properties"), this);
    properties->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_C));
    connect(properties, &QAction::triggered, this, [this] {
        if (const KvIAXCapture* capture = frames_->model().capture()) {
            showProperties(this, *capture);
        }
    });
    ui_->menuFile->insertAction(before, properties);
    ui_->menuFile->insertSeparator(before);
}

// Counts by type and subclass (of the selected calls, where some are),
// conversations, and the IO graph.
void MainWindow::buildStatisticsMenu(QMenu* statistics) {
    statistics->addAction(tr("Frame &Counts"), this, [this] {
        const KvIAXCapture* capture = frames_->model().capture();
        if (capture == nullptr) {
            return;
        }
        const auto calls = calls_->selectedCalls();
        // The selection's frames, as the frame table has them once gathered:
        // at tens of millions, gathering them again held the window.
        FramesInSlices::FrameNumbers callFrames =
            calls.empty() || callFrames_.isRunning() ? nullptr : frames_->callFrames();
        if (!calls.empty() && callFrames == nullptr) {
            callFrames = std::make_shared<const std::vector<std::uint32_t>>(
                callselection::framesOf(capture->callTracker().calls(), calls));
        }
        showFrameCounts(this, *capture, std::move(callFrames));
    });
    statistics->addAction(tr("C&onversations"), this, [this] {
        if (const KvIAXCapture* capture = frames_->model().capture()) {
            showConversations(this, *capture);
        }
    });
    statistics->addAction(tr("&IO Graph"), this, [this] {
        if (KvIAXCapture* capture = frames_->model().capture()) {
            auto* graph = new IoGraphDialog(*capture, this);
            graph->setAttribute(Qt::WA_DeleteOnClose);
            graph->show();
        }
    });
}

// What went wrong, beside the frames: the Problems tab, Next Problem (in the
// Edit menu and on the tool bar), the jitter buffer the calls are judged with.
void MainWindow::buildQualityViews() {
    quality_ = new QualityWatch(frames_->tabs(), viewMenu_, frames_->model(), this);
    connect(quality_, &QualityWatch::frameChosen, this, [this](quint32 frame, bool open) {
        // Browsing the problems, the frame's details follow and the tab stays.
        open ? static_cast<void>(frames_->goToFrame(frame)) : frames_->selectFrame(frame);
    });
    connect(quality_, &QualityWatch::changed, this, [this] {
        calls_->refresh();
        updateStatus();
    });
    connect(quality_, &QualityWatch::judgingChanged, call_, &CallPanel::refreshJudged);
    auto* next = new QAction(tr("Next &Problem"), this);
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_N));
    next->setToolTip(tr("Select the next frame with a problem (Ctrl+Alt+N)"));
    connect(next, &QAction::triggered, this, &MainWindow::selectNextProblem);
    ui_->toolBar->addAction(next);
    editMenu_->addAction(next);
}

void MainWindow::buildDecryption() {
    editMenu_->addSeparator();
    auto* secrets = editMenu_->addAction(tr("Decryption &Secrets..."));
    connect(secrets, &QAction::triggered, this, [this] {
        SecretsDialog dialog(secrets_, this);
        if (dialog.exec() == QDialog::Accepted) {
            setSecrets(dialog.secrets());
        }
    });
    QTableView* table = calls_->callsTable();
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table, &QWidget::customContextMenuRequested, this, [this, table](const QPoint& at) {
        const KvIAXCapture* capture = frames_->model().capture();
        const QModelIndex index = table->indexAt(at);
        if (capture == nullptr || !index.isValid()) {
            return;
        }
        const auto call = static_cast<std::size_t>(
            static_cast<const TrackerTableModel*>(table->model())->itemAt(index.row()));
        QMenu menu(this);
        QAction* decrypt = menu.addAction(tr("&Decrypt With..."));
        decrypt->setEnabled(call < capture->callTracker().calls().size() &&
                            capture->callTracker().calls()[call].locked);
        if (menu.exec(table->viewport()->mapToGlobal(at)) != decrypt) {
            return;
        }
        bool given = false;
        const QString secret =
            QInputDialog::getText(this, tr("Decrypt With"),
                                  tr("The secret of the call's peers (several: separated by ';'):"),
                                  QLineEdit::Password, {}, &given);
        if (given && !secret.isEmpty()) {
            std::vector<std::string> secrets = secrets_;
            secrets::addSecrets(secret.toStdString(), secrets);
            setSecrets(std::move(secrets));
        }
    });
}

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
