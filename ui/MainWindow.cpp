#include "ui/MainWindow.h"

#include "capture/CaptureKeys.h"
#include "ui/CaptureListModel.h"
#include "ui/ElementTableModel.h"
#include "ui/FrameTableModel.h"
#include "ui/TrackerTableModel.h"
#include "app/ChargedStreams.h"
#include "ui/CallFlowView.h"
#include "ui/PlayerView.h"
#include "ui/DisplayFilterBar.h"
#include "ui/FindBar.h"
#include "ui/FrameFilterRun.h"
#include "filter/FilterFromFrame.h"
#include "ui/StreamsView.h"
#include "ui/PacketDetailsView.h"
#include "ui/QualityWatch.h"
#include "app/CallWriter.h"
#include "ui_MainWindow.h"

#include <algorithm>

#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QTabWidget>
#include <QMenuBar>
#include <QSettings>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QInputDialog>
#include <QMenu>
#include <QVBoxLayout>

#include <pcap/pcap.h>

namespace {

KeyColumns columnsOf(const QTableView* view) {
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
    controllerServices.panels =
        services_.panels != nullptr ? services_.panels : static_cast<FilePanels*>(&panels_);
    controllerServices.beep =
        services_.beep != nullptr ? services_.beep : static_cast<SystemBeep*>(&beep_);
    controller_ = new KvController(controllerServices, this);

    bindViews();
    buildInterfaceChooser();
    controller_->awakeFromNib();
}

MainWindow::~MainWindow() {
    // Models first, then the controller and its captures, while the widgets
    // their signals reach still exist.
    for (QTableView* view : {ui_->capturesTable, ui_->framesTable, ui_->elementsTable}) {
        view->setModel(nullptr);
    }
    delete captureModel_;
    delete frameModel_;
    delete elementModel_;
    delete controller_;
}

QTableView* MainWindow::capturesTable() const {
    return ui_->capturesTable;
}
QTableView* MainWindow::framesTable() const {
    return ui_->framesTable;
}
QTableView* MainWindow::elementsTable() const {
    return ui_->elementsTable;
}
QString MainWindow::statusText() const {
    return statusLabel_->text();
}

void MainWindow::bindViews() {
    captureModel_ = new CaptureListModel(*controller_, columnsOf(ui_->capturesTable), this);
    frameModel_ = new FrameTableModel(columnsOf(ui_->framesTable), this);
    elementModel_ = new ElementTableModel(columnsOf(ui_->elementsTable), this);
    ui_->capturesTable->setModel(captureModel_);
    ui_->framesTable->setModel(frameModel_);
    ui_->elementsTable->setModel(elementModel_);

    for (QTableView* view : {ui_->capturesTable, ui_->framesTable, ui_->elementsTable}) {
        view->verticalHeader()->hide();
        view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed); // a million rows
        view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
        view->horizontalHeader()->setStretchLastSection(true);
    }
    ui_->capturesTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    ui_->capturesTable->setColumnWidth(0, 260);
    ui_->capturesTable->setColumnWidth(1, 110);
    ui_->capturesTable->setColumnWidth(2, 260);
    for (int column = 0; column < frameModel_->columnCount(); ++column) {
        ui_->framesTable->setColumnWidth(column, column == 0 ? 60 : column < 3 ? 130 : 105);
    }
    ui_->elementsTable->setColumnWidth(0, 260);
    ui_->splitter->setSizes({120, 420, 200});

    connect(captureModel_, &QAbstractItemModel::modelReset, this, &MainWindow::capturesReplaced);
    connect(captureModel_, &QAbstractItemModel::dataChanged, this, [this] {
        updateButtons();
        updateStatus();
    });
    connect(ui_->capturesTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { captureSelected(current.row()); });
    connect(ui_->framesTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                elementModel_->setFrame(frameModel_->frameAt(current.row()));
                const std::uint32_t number = frameModel_->frameNumberAt(current.row());
                detailsView_->showFrame(frameModel_->capture(), number,
                                        quality_->expertLines(number));
            });
    connect(ui_->framesTable, &QTableView::doubleClicked, this,
            [this] { controller_->dblClick(); });
    connect(frameModel_, &QAbstractItemModel::rowsInserted, this, &MainWindow::updateStatus);
    connect(frameModel_, &QAbstractItemModel::modelReset, this, &MainWindow::updateStatus);

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

    buildTimeFormatMenu();
    buildCallTabs();
    callsRefresh_.setSingleShot(true);
    callsRefresh_.setInterval(300);
    connect(&callsRefresh_, &QTimer::timeout, this, &MainWindow::showCalls);
    statusLabel_ = new QLabel(this);
    ui_->statusBar->addWidget(statusLabel_, 1);
    capturesReplaced();
}

namespace {

QTableView* textTable(QAbstractItemModel* model, QWidget* parent) {
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

} // namespace

// The frames, calls and registrations of the selected capture, as tabs. The
// calls and registrations follow the frames as they arrive; selecting calls
// shows only their frames in the frame table, and selecting none all again.
void MainWindow::buildCallTabs() {
    const int at = ui_->splitter->indexOf(ui_->framesTable);
    auto* tabs = new QTabWidget(this);
    frameTabs_ = tabs;
    ui_->splitter->insertWidget(at, buildFilterBars(tabs));
    tabs->addTab(ui_->framesTable, tr("&Frames"));

    // The ladder of the selected call, beside the elements of the selected frame.
    const int elementsAt = ui_->splitter->indexOf(ui_->elementsTable);
    auto* lower = new QTabWidget(this);
    ui_->splitter->insertWidget(elementsAt, lower);
    // The selected frame's details and bytes, as the packet analyzers show them.
    detailsView_ = new PacketDetailsView(lower);
    lower->addTab(detailsView_, tr("Pac&ket"));
    connect(detailsView_, &PacketDetailsView::filterRequested, this,
            [this](const QString& expression, bool apply) {
                useAsFilter(expression.isEmpty() ? std::nullopt
                                                 : std::optional(expression.toStdString()),
                            apply);
            });
    lower->addTab(ui_->elementsTable, tr("&Elements"));
    flowView_ = new CallFlowView(lower);
    lower->addTab(flowView_, tr("Call F&low"));
    flowView_->setContextMenuPolicy(Qt::ActionsContextMenu);
    for (const auto& [title, svg] :
         {std::pair{tr("Export as PNG..."), false}, std::pair{tr("Export as SVG..."), true}}) {
        auto* action = new QAction(title, flowView_);
        connect(action, &QAction::triggered, this, [this, svg = svg] {
            const QString path =
                QFileDialog::getSaveFileName(this, tr("Export Call Flow"), QDir::homePath(),
                                             svg ? tr("SVG (*.svg)") : tr("PNG (*.png)"));
            if (!path.isEmpty() &&
                !(svg ? flowView_->exportSvg(path) : flowView_->exportPng(path))) {
                QApplication::beep();
            }
        });
        flowView_->addAction(action);
    }
    connect(flowView_, &CallFlowView::frameActivated, this, [this](quint32 frameNumber) {
        const int row = frameModel_->rowOfFrame(frameNumber);
        if (row >= 0) {
            frameTabs_->setCurrentWidget(ui_->framesTable);
            ui_->framesTable->selectRow(row);
        }
    });
    callModel_ = new TrackerTableModel(TrackerTableModel::Rows::Calls, this);
    registrationModel_ = new TrackerTableModel(TrackerTableModel::Rows::Registrations, this);
    callsTable_ = textTable(callModel_, tabs);
    registrationsTable_ = textTable(registrationModel_, tabs);
    callsTable_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tabs->addTab(callsTable_, tr("&Calls"));
    tabs->addTab(registrationsTable_, tr("&Registrations"));
    connect(callsTable_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::callsSelected);
    connect(callsTable_, &QTableView::doubleClicked, this,
            [tabs, this] { tabs->setCurrentWidget(ui_->framesTable); });
    buildVoiceViews(tabs, lower);
    buildQualityViews(tabs);
}

// What went wrong, beside the frames: the Problems tab, Next Problem (in the
// Edit menu and on the tool bar), the jitter buffer the calls are judged with.
void MainWindow::buildQualityViews(QTabWidget* upper) {
    quality_ = new QualityWatch(upper, viewMenu_, *frameModel_, this);
    connect(quality_, &QualityWatch::frameChosen, this, [this](quint32 frame, bool open) {
        if (open) {
            goToFrame(frame);
            return;
        }
        // Browsing the problems: the frame's details follow, the tab stays.
        const int row = frameModel_->rowOfFrame(frame);
        if (row >= 0) {
            ui_->framesTable->selectRow(row);
            ui_->framesTable->scrollTo(frameModel_->index(row, 0));
        }
    });
    connect(quality_, &QualityWatch::changed, this, [this] {
        showCalls();
        updateStatus();
    });
    nextProblem_ = new QAction(tr("Next &Problem"), this);
    nextProblem_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    nextProblem_->setToolTip(tr("Select the next frame with a problem (Ctrl+Shift+N)"));
    connect(nextProblem_, &QAction::triggered, this, &MainWindow::selectNextProblem);
    ui_->toolBar->addAction(nextProblem_);
    editMenu_->addAction(nextProblem_);
}

void MainWindow::selectNextProblem() {
    const int row = frameModel_->nextProblemRow(ui_->framesTable->currentIndex().row());
    if (row < 0) {
        statusNote_ = tr("no frame after this one has a problem");
        updateStatus();
        QApplication::beep();
        return;
    }
    statusNote_.clear();
    frameTabs_->setCurrentWidget(ui_->framesTable);
    ui_->framesTable->selectRow(row);
    ui_->framesTable->scrollTo(frameModel_->index(row, 0));
    updateStatus();
}

// The voice of the selected calls: their streams beside the frames, and the
// player of the first of them beside the ladder.
void MainWindow::buildVoiceViews(QTabWidget* upper, QTabWidget* lower) {
    streamsView_ = new StreamsView(upper);
    upper->addTab(streamsView_, tr("S&treams"));
    connect(streamsView_, &StreamsView::frameActivated, this, [this](quint32 frameNumber) {
        const int row = frameModel_->rowOfFrame(frameNumber);
        if (row >= 0) {
            ui_->framesTable->selectRow(row);
        }
    });
    FilePanels& panels =
        services_.panels != nullptr ? *services_.panels : static_cast<FilePanels&>(panels_);
    playerView_ = new PlayerView(panels, lower);
    lower->addTab(playerView_, tr("&Player"));
    QMenu* voice = menuBar()->addMenu(tr("V&oice"));
    QAction* play = voice->addAction(tr("&Play or Pause the Selected Call"));
    play->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    connect(play, &QAction::triggered, this, [this, lower] {
        lower->setCurrentWidget(playerView_);
        playerView_->togglePlay();
    });
    QAction* exportAudio = voice->addAction(tr("&Export the Selected Call's Audio..."));
    exportAudio->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    connect(exportAudio, &QAction::triggered, playerView_, &PlayerView::exportAudio);
    voice->addSeparator();
    QAction* streams = voice->addAction(tr("Show the &Streams"));
    streams->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    connect(streams, &QAction::triggered, this,
            [upper, this] { upper->setCurrentWidget(streamsView_); });
}

void MainWindow::showVoice(const std::vector<std::size_t>& calls) {
    const KvIAXCapture* capture = frameModel_->capture();
    if (capture == nullptr || calls.empty()) {
        streamsView_->clear();
        playerView_->setCall(std::nullopt, {}, tr("Select a call to play it."));
        return;
    }
    const auto& all = capture->callTracker().calls();
    std::string refused;
    auto voice = ChargedStreams::of(*capture, calls, refused);
    streamsView_->setStreams(voice ? std::move(*voice) : ChargedStreams{});
    if (!voice) {
        statusNote_ = QString::fromStdString(refused);
        updateStatus();
    }
    // The player plays the first selected call.
    const analysis::Call& first = all[calls.front()];
    const QString title =
        tr("Call %1: %2 to %3")
            .arg(calls.front() + 1)
            .arg(QString::fromStdString(first.from.empty() ? first.caller.text() : first.from),
                 QString::fromStdString(first.to.empty() ? first.callee.text() : first.to));
    std::string error;
    auto job = CallAudioJob::of(*capture, calls.front(), error);
    playerView_->setCall(std::move(job), title, QString::fromStdString(error));
}

void MainWindow::showCalls() {
    callModel_->refresh();
    registrationModel_->refresh();
}

void MainWindow::callsSelected() {
    const KvIAXCapture* capture = frameModel_->capture();
    const auto rows = callsTable_->selectionModel()->selectedRows();
    if (capture == nullptr || rows.isEmpty()) {
        if (callFrames_) {
            // The frame rows change: the frame whose elements were shown is
            // no longer selected.
            elementModel_->setFrame(nullptr);
            detailsView_->showFrame(nullptr, 0);
            callFrames_.reset();
            refreshFrameRows();
        }
        flowView_->clear();
        showVoice({});
        return;
    }
    std::vector<std::uint32_t> numbers;
    const auto& calls = capture->callTracker().calls();
    for (const QModelIndex& row : rows) {
        if (row.row() < static_cast<int>(calls.size())) {
            const auto& frames = calls[static_cast<std::size_t>(row.row())].frameNumbers;
            numbers.insert(numbers.end(), frames.begin(), frames.end());
        }
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    elementModel_->setFrame(nullptr);
    detailsView_->showFrame(nullptr, 0);
    callFrames_ = std::move(numbers);
    refreshFrameRows();
    // The ladder of the selected calls, a column per end.
    std::vector<const analysis::Call*> selected;
    for (const QModelIndex& row : rows) {
        if (row.row() < static_cast<int>(calls.size())) {
            selected.push_back(&calls[static_cast<std::size_t>(row.row())]);
        }
    }
    auto flow = analysis::callsFlow(selected, capture->iaxFrames());
    std::vector<analysis::DtmfEvent> tones;
    for (const QModelIndex& row : rows) {
        if (const CallListening* heard = capture->listening(static_cast<std::size_t>(row.row()))) {
            for (const auto& side : heard->sides) {
                if (side) {
                    tones.insert(tones.end(), side->tones.begin(), side->tones.end());
                }
            }
        }
    }
    analysis::addInBandDigits(flow, selected, tones);
    QStringList columns;
    for (const auto& end : flow.columns) {
        columns << QString::fromStdString(end.text());
    }
    flowView_->setFlow(columns, std::move(flow.steps));
    std::vector<std::size_t> indexes;
    for (const QModelIndex& row : rows) {
        if (row.row() < static_cast<int>(calls.size())) {
            indexes.push_back(static_cast<std::size_t>(row.row()));
        }
    }
    std::sort(indexes.begin(), indexes.end());
    showVoice(indexes);
}

void MainWindow::saveSelectedCalls() {
    const KvIAXCapture* capture = frameModel_->capture();
    std::vector<std::size_t> calls;
    for (const QModelIndex& row : callsTable_->selectionModel()->selectedRows()) {
        calls.push_back(static_cast<std::size_t>(row.row()));
    }
    if (capture == nullptr || calls.empty()) {
        QApplication::beep(); // nothing selected to save
        return;
    }
    controller_->saveCalls(*capture, calls);
}

// View > Columns: every column of the frame table, shown or hidden, remembered.
void MainWindow::buildColumnsMenu(QMenu* view) {
    QMenu* columns = view->addMenu(tr("&Columns"));
    QHeaderView* header = ui_->framesTable->horizontalHeader();
    const QStringList hidden = QSettings().value("view/hiddenFrameColumns").toStringList();
    for (int column = 0; column < frameModel_->columnCount(); ++column) {
        const QString title =
            frameModel_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        QAction* action = columns->addAction(title);
        action->setCheckable(true);
        action->setChecked(!hidden.contains(title));
        header->setSectionHidden(column, hidden.contains(title));
        connect(action, &QAction::toggled, this, [this, header, column, title](bool shown) {
            header->setSectionHidden(column, !shown);
            QStringList now = QSettings().value("view/hiddenFrameColumns").toStringList();
            now.removeAll(title);
            if (!shown) {
                now << title;
            }
            QSettings().setValue("view/hiddenFrameColumns", now);
        });
    }
}

void MainWindow::buildTimeFormatMenu() {
    using framedisplay::TimeFormat;
    QMenu* view = menuBar()->addMenu(tr("&View"));
    viewMenu_ = view;
    buildColumnsMenu(view);
    QMenu* formats = view->addMenu(tr("&Time Format"));
    auto* group = new QActionGroup(this);
    // Remembered across runs; the `captured` column's display only.
    QSettings settings;
    const int remembered = settings.value("view/timeFormat", 0).toInt();
    const std::pair<TimeFormat, QString> choices[] = {
        {TimeFormat::DateAndTime, tr("&Date and Time")},
        {TimeFormat::TimeOfDay, tr("Time of &Day")},
        {TimeFormat::SinceFirst, tr("Seconds Since &First Frame")},
        {TimeFormat::SincePrevious, tr("Seconds Since &Previous Frame")},
    };
    for (const auto& [format, title] : choices) {
        QAction* action = formats->addAction(title);
        action->setCheckable(true);
        action->setData(static_cast<int>(format));
        group->addAction(action);
        if (static_cast<int>(format) == remembered) {
            action->setChecked(true);
            frameModel_->setTimeFormat(format);
        }
        connect(action, &QAction::triggered, this, [this, format = format] {
            frameModel_->setTimeFormat(format);
            QSettings().setValue("view/timeFormat", static_cast<int>(format));
        });
    }
}

void MainWindow::buildInterfaceChooser() {
    ui_->toolBar->addWidget(new QLabel(tr("Interface: "), this));
    interfaceChooser_ = new QComboBox(this);
    interfaceChooser_->setEditable(true);
    interfaceChooser_->setMinimumContentsLength(12);
    pcap_if_t* devices = nullptr;
    char error[PCAP_ERRBUF_SIZE];
    if (pcap_findalldevs(&devices, error) == 0) {
        for (pcap_if_t* device = devices; device != nullptr; device = device->next) {
            interfaceChooser_->addItem(QString::fromLocal8Bit(device->name));
        }
        pcap_freealldevs(devices);
    }
    // Every interface at once, in Linux cooked headers; libpcap lists it only
    // where it may be opened.
    if (interfaceChooser_->findText(QStringLiteral("any")) < 0) {
        interfaceChooser_->addItem(QStringLiteral("any"));
    }
    // "en0" (or the interface named at start) stays chosen, listed or not.
    const QString chosen = services_.liveSettings != nullptr
                               ? QString::fromStdString(services_.liveSettings->interfaceName)
                               : QStringLiteral("en0");
    if (interfaceChooser_->findText(chosen) < 0) {
        interfaceChooser_->insertItem(0, chosen);
    }
    interfaceChooser_->setCurrentText(chosen);
    connect(interfaceChooser_, &QComboBox::currentTextChanged, this, [this](const QString& name) {
        if (services_.liveSettings != nullptr && !name.isEmpty()) {
            services_.liveSettings->interfaceName = name.toStdString();
        }
    });
    ui_->toolBar->addWidget(interfaceChooser_);
}

void MainWindow::capturesReplaced() {
    const int buttonColumn = captureModel_->columnOf(keyText(capturekeys::button));
    for (int row = 0; row < captureModel_->rowCount(); ++row) {
        auto* button = new QPushButton(ui_->capturesTable);
        connect(button, &QPushButton::clicked, this, [this, row] {
            // The row's button names its capture by the row's `reference`.
            const KvIAXCapture* capture = captureModel_->captureAt(row);
            QObject* reference =
                capture != nullptr
                    ? capture->valueForKey(keyText(capturekeys::reference)).value<QObject*>()
                    : nullptr;
            controller_->stopCapture(qobject_cast<KvIAXCapture*>(reference));
        });
        ui_->capturesTable->setIndexWidget(captureModel_->index(row, buttonColumn), button);
    }
    updateButtons();
    if (captureModel_->rowCount() > 0) {
        ui_->capturesTable->selectRow(0);
        captureSelected(0);
    }
}

void MainWindow::updateButtons() {
    const int buttonColumn = captureModel_->columnOf(keyText(capturekeys::button));
    for (int row = 0; row < captureModel_->rowCount(); ++row) {
        const QModelIndex index = captureModel_->index(row, buttonColumn);
        if (auto* button = qobject_cast<QPushButton*>(ui_->capturesTable->indexWidget(index))) {
            button->setText(index.data().toString());
        }
    }
}

void MainWindow::captureSelected(int row) {
    KvIAXCapture* capture = captureModel_->captureAt(row);
    if (capture == frameModel_->capture()) {
        return;
    }
    callFrames_.reset();
    frameModel_->setFrameFilter(std::nullopt);
    flowView_->clear();
    showVoice({});
    frameModel_->setCapture(capture);
    refreshFrameRows();
    elementModel_->setFrame(nullptr);
    detailsView_->showFrame(nullptr, 0);
    disconnect(callsConnection_);
    if (capture != nullptr) {
        // The lists are redrawn at most a few times a second: a load changes
        // them with every block of frames.
        callsConnection_ = connect(capture, &KvIAXCapture::callsChanged, this, [this] {
            if (!callsRefresh_.isActive()) {
                callsRefresh_.start();
            }
        });
    }
    callModel_->setCapture(capture);
    registrationModel_->setCapture(capture);
    quality_->setCapture(capture);
    updateStatus();
}

void MainWindow::updateStatus() {
    const KvIAXCapture* capture = frameModel_->capture();
    if (capture == nullptr) {
        statusLabel_->clear();
        return;
    }
    const int shown = frameModel_->rowCount();
    const auto total = static_cast<qsizetype>(capture->iaxFrames().size());
    QString text = !frameModel_->isFiltered()
                       ? (shown == 1 ? tr("1 frame") : tr("%1 frames").arg(shown))
                       : tr("%1 / %2 frames shown").arg(shown).arg(total);
    if (filterRun_ != nullptr && !filterRun_->isDone() && filterRun_->total() > 0) {
        text += tr(", filtering (%1 %)").arg(100 * filterRun_->tested() / filterRun_->total());
    }
    text += "  \u2014  " + capture->valueForKey(keyText(capturekeys::status)).toString();
    const QString file = capture->valueForKey(keyText(capturekeys::captureFile)).toString();
    if (!file.isEmpty()) {
        text += "  \u2014  " + tr("writing %1").arg(file);
    }
    if (const QString quality = quality_ != nullptr ? quality_->statusText() : QString();
        !quality.isEmpty()) {
        text += "  \u2014  " + quality;
    }
    if (!statusNote_.isEmpty()) {
        text += "  \u2014  " + statusNote_;
    } else if (filterRun_ != nullptr && !filterRun_->problem().isEmpty()) {
        text += "  \u2014  " + tr("display filter: %1").arg(filterRun_->problem());
    }
    statusLabel_->setText(text);
}

// The display filter bar and the find bar above the frame tabs.
QWidget* MainWindow::buildFilterBars(QTabWidget* tabs) {
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    filterBar_ = new DisplayFilterBar(box);
    layout->addWidget(filterBar_);
    findBar_ = new FindBar(
        *frameModel_, [this] { return ui_->framesTable->currentIndex().row(); }, box);
    findBar_->hide();
    layout->addWidget(findBar_);
    layout->addWidget(tabs, 1);
    connect(filterBar_, &DisplayFilterBar::applied, this, &MainWindow::applyDisplayFilter);
    // Enter on an expression that does not compile says why where it is seen.
    connect(filterBar_, &DisplayFilterBar::rejected, this, [this](const QString& error) {
        statusNote_ = tr("display filter: %1").arg(error);
        updateStatus();
    });
    connect(findBar_, &FindBar::found, this, [this, tabs](int row) {
        tabs->setCurrentWidget(ui_->framesTable);
        ui_->framesTable->selectRow(row);
        ui_->framesTable->scrollTo(frameModel_->index(row, 0));
    });
    // Apply as Filter / Prepare as Filter from a cell or an element.
    for (QTableView* view : {ui_->framesTable, ui_->elementsTable}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
            const QModelIndex index = view->indexAt(at);
            if (!index.isValid()) {
                return;
            }
            QMenu menu(this);
            const bool frames = view == ui_->framesTable;
            for (const bool apply : {true, false}) {
                menu.addAction(
                    apply ? tr("Apply as Filter") : tr("Prepare as Filter"), this, [=, this] {
                        frames ? filterOnFrameCell(index, apply) : filterOnElement(index, apply);
                    });
            }
            menu.exec(view->viewport()->mapToGlobal(at));
        });
    }
    buildEditMenu();
    return box;
}

void MainWindow::buildEditMenu() {
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    editMenu_ = edit;
    // Before View, as in other programs.
    menuBar()->insertMenu(menuBar()->actions().value(1), edit);
    auto add = [&](const QString& title, const QKeySequence& keys, auto slot) {
        QAction* action = edit->addAction(title);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
    };
    add(tr("&Display Filter"), QKeySequence(Qt::CTRL | Qt::Key_Slash),
        [this] { filterBar_->focusExpression(); });
    edit->addSeparator();
    add(tr("&Find..."), QKeySequence(Qt::CTRL | Qt::Key_F), [this] { findBar_->open(); });
    add(tr("Find &Next"), QKeySequence(Qt::Key_F3), [this] {
        findBar_->show();
        findBar_->findNext();
    });
    add(tr("Find &Previous"), QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] {
        findBar_->show();
        findBar_->findPrevious();
    });
    add(tr("&Go to Frame..."), QKeySequence(Qt::CTRL | Qt::Key_G), [this] {
        const KvIAXCapture* capture = frameModel_->capture();
        if (capture == nullptr || capture->iaxFrames().empty()) {
            QApplication::beep();
            return;
        }
        bool ok = false;
        const int current =
            static_cast<int>(frameModel_->frameNumberAt(ui_->framesTable->currentIndex().row()));
        const int number =
            QInputDialog::getInt(this, tr("Go to Frame"), tr("Frame number:"), std::max(current, 1),
                                 1, static_cast<int>(capture->iaxFrames().size()), 1, &ok);
        if (ok) {
            goToFrame(static_cast<std::uint32_t>(number));
        }
    });
}

bool MainWindow::goToFrame(std::uint32_t number) {
    const int row = frameModel_->rowOfFrame(number);
    if (row < 0) {
        statusNote_ =
            frameModel_->capture() != nullptr && number >= 1 &&
                    number <= frameModel_->capture()->iaxFrames().size()
                ? tr("frame %1 is not shown: the display filter or the call selection hides it")
                      .arg(number)
                : tr("there is no frame %1").arg(number);
        updateStatus();
        QApplication::beep();
        return false;
    }
    statusNote_.clear();
    frameTabs_->setCurrentWidget(ui_->framesTable);
    ui_->framesTable->selectRow(row);
    ui_->framesTable->scrollTo(frameModel_->index(row, 0));
    updateStatus();
    return true;
}

void MainWindow::filterOnFrameCell(const QModelIndex& index, bool apply) {
    const auto frame = frameModel_->frameAt(index.row());
    const QString key = frameModel_->keyOfColumn(index.column());
    std::optional<std::string> expression;
    if (frame && key.startsWith("frame.")) {
        expression = (key + " == " + index.data().toString()).toStdString();
    } else if (frame && !key.isEmpty()) {
        expression = filter::expressionForCell(*frame, key.toStdString());
    }
    useAsFilter(expression, apply);
}

void MainWindow::filterOnElement(const QModelIndex& index, bool apply) {
    const auto frame = frameModel_->frameAt(ui_->framesTable->currentIndex().row());
    useAsFilter(frame ? filter::expressionForElement(*frame, static_cast<std::size_t>(index.row()))
                      : std::nullopt,
                apply);
}

void MainWindow::useAsFilter(const std::optional<std::string>& expression, bool apply) {
    if (!expression) {
        QApplication::beep(); // nothing there to filter on
        return;
    }
    filterBar_->prepare(QString::fromStdString(*expression));
    if (apply) {
        filterBar_->apply();
    }
}

void MainWindow::applyDisplayFilter(const std::optional<filter::DisplayFilter>& filter) {
    displayFilter_ = filter;
    elementModel_->setFrame(nullptr);
    detailsView_->showFrame(nullptr, 0);
    refreshFrameRows();
}

bool MainWindow::isFiltering() const {
    return filterRun_ != nullptr && !filterRun_->isDone();
}

void MainWindow::refreshFrameRows() {
    delete filterRun_;
    filterRun_ = nullptr;
    statusNote_.clear();
    KvIAXCapture* capture = frameModel_->capture();
    if (!displayFilter_ || capture == nullptr) {
        frameModel_->setFrameFilter(callFrames_);
        updateStatus();
        return;
    }
    // The matches are shown as they are found, a slice at a time.
    frameModel_->setFrameFilter(std::vector<std::uint32_t>{});
    filterRun_ = new FrameFilterRun(*capture, *displayFilter_, callFrames_, this);
    connect(filterRun_, &FrameFilterRun::matched, frameModel_, &FrameTableModel::appendToFilter);
    connect(filterRun_, &FrameFilterRun::progressed, this, &MainWindow::updateStatus);
    filterRun_->start();
    updateStatus();
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
