// How the window is put together: its panels and the signals between them,
// its menus (File, Statistics, the quality views) and decryption.
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
    connect(
        ui_->elementsTable, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
            const QModelIndex index = ui_->elementsTable->indexAt(at);
            if (!index.isValid()) {
                return;
            }
            QMenu menu(this);
            for (const bool apply : {true, false}) {
                menu.addAction(
                    apply ? tr("Apply as Filter") : tr("Prepare as Filter"), this, [=, this] {
                        frames_->filterOnElement(
                            static_cast<std::size_t>(elementModel_->elementAt(index.row())), apply);
                    });
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
    frames_->addStatisticsMenu(menuBar()->addMenu(tr("&Statistics")),
                               [this] { return selectedCallFrames(); });
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
    frames_->addFileActions(ui_->menuFile, before);
    ui_->menuFile->insertSeparator(before);
}

// The selected calls' frames, as the frame table has them once gathered (at
// tens of millions, gathering them again held the window); null where no
// call is selected.
FramesPanel::CallFrames MainWindow::selectedCallFrames() const {
    const KvIAXCapture* capture = frames_->model().capture();
    const auto calls = calls_->selectedCalls();
    if (capture == nullptr || calls.empty()) {
        return nullptr;
    }
    if (!callFrames_.isRunning() && frames_->callFrames() != nullptr) {
        return frames_->callFrames();
    }
    return std::make_shared<const std::vector<std::uint32_t>>(
        callselection::framesOf(capture->callTracker().calls(), calls));
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
