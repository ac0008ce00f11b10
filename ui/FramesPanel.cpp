#include "ui/FramesPanel.h"

#include "app/KvIAXCapture.h"
#include "filter/FilterFromFrame.h"
#include "ui/ColumnChooser.h"
#include "ui/DisplayFilterBar.h"
#include "ui/FindBar.h"
#include "ui/FrameFilterRun.h"
#include "ui/FrameSelection.h"
#include "ui/FrameSortRun.h"
#include "ui/FrameTableModel.h"
#include "ui/LetGoElsewhere.h"
#include "ui/UniformRowsView.h"
#include "app/FrameComments.h"

#include <QApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTabWidget>
#include <QVBoxLayout>

FramesPanel::FramesPanel(UniformRowsView* framesTable, KeyColumns columns, QWidget* parent)
    : QWidget(parent), tabs_(new QTabWidget(this)), table_(framesTable),
      model_(new FrameTableModel(std::move(columns), this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    filterBar_ = new DisplayFilterBar(this);
    layout->addWidget(filterBar_);
    findBar_ = new FindBar(
        *model_, [this] { return table_->currentIndex().row(); }, this);
    findBar_->hide();
    layout->addWidget(findBar_);
    layout->addWidget(tabs_, 1);
    tabs_->addTab(table_, tr("&Frames"));

    table_->setModel(model_);
    selection_ = std::make_unique<FrameSelection>(*table_, *model_);
    columns_ = new ColumnChooser(table_, model_, this);
    // Rows are copied, exported and marked several at a time.
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->horizontalHeader()->setStretchLastSection(true);
    for (int column = 0; column < model_->columnCount(); ++column) {
        table_->setColumnWidth(column, column == 0 ? 60 : column < 3 ? 130 : 105);
    }
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                emit frameSelected(model_->frameNumberAt(current.row()));
            });
    connect(model_, &QAbstractItemModel::rowsInserted, this, &FramesPanel::statusChanged);
    connect(model_, &QAbstractItemModel::modelReset, this, &FramesPanel::statusChanged);

    connect(filterBar_, &DisplayFilterBar::applied, this, &FramesPanel::applyDisplayFilter);
    // Enter on an expression that does not compile says why where it is seen.
    connect(filterBar_, &DisplayFilterBar::rejected, this,
            [this](const QString& error) { setNote(tr("display filter: %1").arg(error)); });
    connect(findBar_, &FindBar::found, this, [this](int row) {
        tabs_->setCurrentWidget(table_);
        selectRow(row);
    });
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table_, &QWidget::customContextMenuRequested, this, &FramesPanel::showContextMenu);
    // A header click sorts, away from the main thread (the model's own sort
    // would hold it for a million rows).
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this, &FramesPanel::sortBy);
}

FramesPanel::~FramesPanel() {
    table_->setModel(nullptr);
}

void FramesPanel::setCapture(KvIAXCapture* capture) {
    if (capture == model_->capture()) {
        return;
    }
    callFrames_.reset();
    model_->setFrameFilter(nullptr);
    model_->setCapture(capture);
    refreshRows();
}

void FramesPanel::setCallFrames(std::optional<std::vector<std::uint32_t>> frames) {
    if (!frames && !callFrames_) {
        return;
    }
    // The list replaced may be hundreds of megabytes.
    letGoElsewhere(std::exchange(
        callFrames_,
        frames ? std::make_shared<const std::vector<std::uint32_t>>(std::move(*frames)) : nullptr));
    refreshRows();
}

void FramesPanel::sortBy(int column, Qt::SortOrder order) {
    delete sortRun_;
    sortRun_ = nullptr;
    if (column < 0 || model_->capture() == nullptr) {
        model_->setOrder(std::nullopt);
        emit statusChanged();
        return;
    }
    sortRun_ = new FrameSortRun(*model_, column, order, this);
    connect(sortRun_, &FrameSortRun::progressed, this, &FramesPanel::statusChanged);
    connect(sortRun_, &FrameSortRun::finished, this, &FramesPanel::statusChanged);
    sortRun_->start();
    emit statusChanged();
}

bool FramesPanel::isSorting() const {
    return sortRun_ != nullptr && !sortRun_->isDone();
}

bool FramesPanel::isFiltering() const {
    return filterRun_ != nullptr && !filterRun_->isDone();
}

std::uint32_t FramesPanel::currentFrame() const {
    return model_->frameNumberAt(table_->currentIndex().row());
}

void FramesPanel::setNote(const QString& note) {
    note_ = note;
    emit statusChanged();
}

QString FramesPanel::statusText() const {
    const KvIAXCapture* capture = model_->capture();
    if (capture == nullptr) {
        return {};
    }
    const int shown = model_->rowCount();
    const auto total = static_cast<qsizetype>(capture->iaxFrames().size());
    QString text = !model_->isFiltered() ? (shown == 1 ? tr("1 frame") : tr("%1 frames").arg(shown))
                                         : tr("%1 / %2 frames shown").arg(shown).arg(total);
    if (isFiltering() && filterRun_->total() > 0) {
        text += tr(", filtering (%1 %)").arg(100 * filterRun_->tested() / filterRun_->total());
    }
    if (isSorting() && sortRun_->total() > 0) {
        text += tr(", sorting (%1 %)").arg(100 * sortRun_->read() / sortRun_->total());
    }
    if (!selection_->commentsError().isEmpty()) {
        text += tr(", comments unreadable: %1").arg(selection_->commentsError());
    }
    return text;
}

bool FramesPanel::goToFrame(std::uint32_t number) {
    const int row = model_->rowOfFrame(number);
    if (row < 0) {
        const KvIAXCapture* capture = model_->capture();
        setNote(capture != nullptr && number >= 1 && number <= capture->iaxFrames().size()
                    ? tr("frame %1 is not shown: the display filter or the call selection hides "
                         "it")
                          .arg(number)
                    : tr("there is no frame %1").arg(number));
        QApplication::beep();
        return false;
    }
    note_.clear();
    tabs_->setCurrentWidget(table_);
    selectRow(row);
    emit statusChanged();
    return true;
}

void FramesPanel::selectFrame(std::uint32_t number) {
    const int row = model_->rowOfFrame(number);
    if (row >= 0) {
        selectRow(row);
    }
}

void FramesPanel::selectRow(int row) {
    table_->selectRow(row);
    table_->scrollTo(model_->index(row, 0));
}

void FramesPanel::filterOnFrameCell(const QModelIndex& index, bool apply) {
    const auto frame = model_->frameAt(index.row());
    const QString key = model_->keyOfColumn(index.column());
    std::optional<std::string> expression;
    if (frame && key.startsWith("frame.")) {
        expression = (key + " == " + index.data().toString()).toStdString();
    } else if (frame && !key.isEmpty()) {
        expression = filter::expressionForCell(*frame, key.toStdString());
    }
    useAsFilter(expression, apply);
}

void FramesPanel::filterOnElement(std::size_t element, bool apply) {
    const auto frame = model_->frameAt(table_->currentIndex().row());
    useAsFilter(frame ? filter::expressionForElement(*frame, element) : std::nullopt, apply);
}

void FramesPanel::useAsFilter(const std::optional<std::string>& expression, bool apply) {
    if (!expression) {
        QApplication::beep(); // nothing there to filter on
        return;
    }
    filterBar_->prepare(QString::fromStdString(*expression));
    if (apply) {
        filterBar_->apply();
    }
}

void FramesPanel::showContextMenu(const QPoint& at) {
    const QModelIndex index = table_->indexAt(at);
    if (!index.isValid()) {
        return;
    }
    QMenu menu(this);
    for (const bool apply : {true, false}) {
        menu.addAction(apply ? tr("Apply as Filter") : tr("Prepare as Filter"), this,
                       [=, this] { filterOnFrameCell(index, apply); });
    }
    menu.exec(table_->viewport()->mapToGlobal(at));
}

void FramesPanel::applyDisplayFilter(const std::optional<filter::DisplayFilter>& filter) {
    displayFilter_ = filter;
    refreshRows();
}

void FramesPanel::refreshRows() {
    delete filterRun_;
    filterRun_ = nullptr;
    // Other rows: shown in capture order until sorted again.
    delete sortRun_;
    sortRun_ = nullptr;
    {
        const QSignalBlocker quiet(table_->horizontalHeader());
        table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    }
    note_.clear();
    KvIAXCapture* capture = model_->capture();
    if (!displayFilter_ || capture == nullptr) {
        model_->setFrameFilter(callFrames_);
        emit frameSelected(currentFrame()); // the rows changed under the selection
        emit statusChanged();
        return;
    }
    // The matches are shown as they are found, a slice at a time.
    model_->startMatches();
    emit frameSelected(0);
    filterRun_ = new FrameFilterRun(*capture, *displayFilter_, callFrames_, this);
    connect(filterRun_, &FrameFilterRun::matched, model_, &FrameTableModel::appendToFilter);
    connect(filterRun_, &FrameFilterRun::progressed, this, [this] {
        if (!filterRun_->problem().isEmpty()) {
            note_ = tr("display filter: %1").arg(filterRun_->problem());
        }
        emit statusChanged();
    });
    filterRun_->start();
    emit statusChanged();
}

void FramesPanel::askComment(std::uint32_t frame) {
    if (frame == 0) {
        QApplication::beep();
        return;
    }
    bool ok = false;
    const QString text = QInputDialog::getMultiLineText(
        this, tr("Packet Comment"), tr("Comment on frame %1 (empty: none):").arg(frame),
        selection_->commentOf(frame), &ok);
    if (ok) {
        setComment(frame, text);
    }
}

bool FramesPanel::setComment(std::uint32_t number, const QString& text) {
    FrameComments* comments = selection_->comments();
    const std::uint32_t packet = selection_->packetOf(number);
    if (comments == nullptr || packet == 0) {
        setNote(tr("only the packets of a loaded capture file can be commented (save a live "
                   "capture and open it)"));
        QApplication::beep();
        return false;
    }
    std::string error;
    const bool kept = comments->set(packet, text.trimmed().toStdString(), error);
    if (!kept) {
        setNote(tr("the comment is kept for this run only: %1").arg(QString::fromStdString(error)));
    }
    emit commentsChanged();
    return kept;
}
