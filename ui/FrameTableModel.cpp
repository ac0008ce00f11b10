#include "ui/FrameTableModel.h"

#include "ui/LetGoElsewhere.h"

#include <QBrush>
#include <QColor>

#include <algorithm>
#include <utility>

#include "app/KvIAXCapture.h"
#include "dissect/FrameSummary.h"

namespace {
// How long appends gather before they become rows: about a screen refresh
// at the rate a file loads, and the view's work per insertion is the same
// at any size.
constexpr int flushIntervalMs = 30;
} // namespace

FrameTableModel::FrameTableModel(KeyColumns columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)),
      capturedColumn_(columns_.indexOf(QStringLiteral("captured")) + 1) {
    flushTimer_.setObjectName("frame table appends");
    flushTimer_.setSingleShot(true);
    connect(&flushTimer_, &QTimer::timeout, this, &FrameTableModel::flushAppends);
}

void FrameTableModel::setCapture(KvIAXCapture* capture) {
    marks_.clear();
    reference_ = 0;
    for (const auto& connection : connections_) {
        disconnect(connection);
    }
    connections_.clear();
    capture_ = capture;
    fieldColumns_.setCapture(capture);
    if (capture != nullptr) {
        connections_.append(connect(capture, &KvIAXCapture::framesAppended, this, [this] {
            if (!flushTimer_.isActive()) {
                flushTimer_.start(flushIntervalMs);
            }
        }));
        connections_.append(
            connect(capture, &KvIAXCapture::framesReset, this, &FrameTableModel::reset));
        connections_.append(connect(capture, &QObject::destroyed, this, [this] {
            capture_ = nullptr;
            reset();
        }));
    }
    reset();
}

void FrameTableModel::reset() {
    flushTimer_.stop();
    const auto* filter = this->filter();
    if (order_ && capture_ != nullptr && filter == nullptr &&
        order_->size() != capture_->iaxFrames().size()) {
        letGoOfOrder(); // the list was replaced
    }
    beginResetModel();
    shownRows_ = capture_ == nullptr ? 0
                 : filter != nullptr ? static_cast<int>(filter->size())
                                     : static_cast<int>(capture_->iaxFrames().size());
    endResetModel();
}

void FrameTableModel::setFrameFilter(FrameNumbers frameNumbers) {
    letGoElsewhere(std::exchange(chosen_, std::move(frameNumbers)));
    letGoElsewhere(std::exchange(matches_, std::nullopt));
    letGoOfOrder(); // other frames: the order they were sorted in no longer holds
    reset();
}

void FrameTableModel::startMatches() {
    letGoElsewhere(std::exchange(chosen_, nullptr));
    letGoElsewhere(std::exchange(matches_, std::vector<std::uint32_t>{}));
    letGoOfOrder();
    reset();
}

void FrameTableModel::letGoOfOrder() {
    letGoElsewhere(std::exchange(order_, std::nullopt));
    letGoElsewhere(std::exchange(rowOfFrame_, {}));
}

std::vector<std::uint32_t> FrameTableModel::shownFrames() const {
    std::vector<std::uint32_t> frames;
    appendShownFrames(0, shownRows_, frames);
    return frames;
}

void FrameTableModel::appendShownFrames(int first, int last,
                                        std::vector<std::uint32_t>& frames) const {
    last = std::min(last, shownRows_);
    frames.reserve(frames.size() + static_cast<std::size_t>(std::max(0, last - first)));
    for (int row = std::max(first, 0); row < last; ++row) {
        frames.push_back(static_cast<std::uint32_t>(frameIndexOf(row) + 1));
    }
}

FrameTableModel::SortedRows FrameTableModel::sortedRows(std::vector<std::uint32_t> order) {
    SortedRows rows{std::move(order), {}};
    const auto largest = std::max_element(rows.order.begin(), rows.order.end());
    rows.rowOfFrame.assign(largest == rows.order.end() ? 0 : std::size_t{*largest} + 1, -1);
    for (std::size_t row = 0; row < rows.order.size(); ++row) {
        rows.rowOfFrame[rows.order[row]] = static_cast<std::int32_t>(row);
    }
    return rows;
}

void FrameTableModel::setOrder(std::optional<SortedRows> rows) {
    if (rows && rows->order.size() != static_cast<std::size_t>(shownRows_)) {
        return; // rows came or went since it was made
    }
    emit layoutAboutToBeChanged();
    if (rows) {
        letGoElsewhere(std::exchange(order_, std::move(rows->order)));
        letGoElsewhere(std::exchange(rowOfFrame_, std::move(rows->rowOfFrame)));
    } else {
        letGoOfOrder();
    }
    emit layoutChanged();
}

void FrameTableModel::appendOrdered(std::uint32_t frame) {
    if (rowOfFrame_.size() <= frame) {
        rowOfFrame_.resize(static_cast<std::size_t>(frame) + 1, -1);
    }
    rowOfFrame_[frame] = static_cast<std::int32_t>(order_->size());
    order_->push_back(frame);
}

void FrameTableModel::appendToFilter(const std::vector<std::uint32_t>& frameNumbers) {
    if (chosen_ || !matches_ || frameNumbers.empty()) {
        return;
    }
    const int first = static_cast<int>(matches_->size());
    beginInsertRows({}, first, first + static_cast<int>(frameNumbers.size()) - 1);
    matches_->insert(matches_->end(), frameNumbers.begin(), frameNumbers.end());
    if (order_) {
        for (const std::uint32_t frame : frameNumbers) {
            appendOrdered(frame);
        }
    }
    shownRows_ = static_cast<int>(matches_->size());
    endInsertRows();
}

int FrameTableModel::rowOfFrame(std::uint32_t frameNumber) const {
    if (order_) {
        return frameNumber < rowOfFrame_.size() ? rowOfFrame_[frameNumber] : -1;
    }
    const auto* filter = this->filter();
    if (filter == nullptr) {
        return frameNumber >= 1 && static_cast<int>(frameNumber) <= shownRows_
                   ? static_cast<int>(frameNumber) - 1
                   : -1;
    }
    const auto found = std::lower_bound(filter->begin(), filter->end(), frameNumber);
    return found != filter->end() && *found == frameNumber
               ? static_cast<int>(found - filter->begin())
               : -1;
}

std::size_t FrameTableModel::frameIndexOf(int row) const {
    const auto position = static_cast<std::size_t>(row);
    if (order_) {
        return (*order_)[position] - 1;
    }
    const auto* filter = this->filter();
    return filter != nullptr ? (*filter)[position] - 1 : position;
}

void FrameTableModel::flushAppends() {
    if (capture_ == nullptr || isFiltered()) {
        return; // a filtered table shows the frames it was given
    }
    const int available = static_cast<int>(capture_->iaxFrames().size());
    if (available > shownRows_) {
        beginInsertRows({}, shownRows_, available - 1);
        if (order_) {
            for (int frame = shownRows_ + 1; frame <= available; ++frame) {
                appendOrdered(static_cast<std::uint32_t>(frame));
            }
        }
        shownRows_ = available;
        endInsertRows();
    }
}

std::shared_ptr<KvIAXFrame> FrameTableModel::frameAt(int row) const {
    if (capture_ == nullptr || row < 0 || row >= shownRows_ ||
        frameIndexOf(row) >= capture_->iaxFrames().size()) {
        return nullptr;
    }
    return capture_->iaxFrames()[frameIndexOf(row)];
}

std::uint32_t FrameTableModel::frameNumberAt(int row) const {
    return frameAt(row) ? static_cast<std::uint32_t>(frameIndexOf(row) + 1) : 0;
}

int FrameTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int FrameTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_.count() + 3 + fieldColumns_.count();
}

QString FrameTableModel::keyOfColumn(int column) const {
    if (column == numberColumn()) {
        return QStringLiteral("frame.number");
    }
    if (column == columns_.count() + 1) {
        return QStringLiteral("frame.len");
    }
    if (column > infoColumn()) {
        return fieldColumnKey + fieldColumns_.columns().value(column - firstFieldColumn()).fields;
    }
    return column == infoColumn() ? QString() : columns_.key(column - 1);
}

void FrameTableModel::setFieldColumns(FieldColumnSet columns) {
    if (fieldColumns_.count() > 0) {
        beginRemoveColumns({}, firstFieldColumn(), firstFieldColumn() + fieldColumns_.count() - 1);
        fieldColumns_ = FieldColumnSet();
        endRemoveColumns();
    }
    if (columns.count() > 0) {
        beginInsertColumns({}, firstFieldColumn(), firstFieldColumn() + columns.count() - 1);
        fieldColumns_ = std::move(columns);
        fieldColumns_.setCapture(capture_);
        endInsertColumns();
    }
}

std::optional<std::int64_t> FrameTableModel::fieldNumberAt(int row, int column) const {
    if (capture_ == nullptr || column < firstFieldColumn() || row < 0 || row >= shownRows_) {
        return std::nullopt;
    }
    return fieldColumns_.number(column - firstFieldColumn(), frameNumberAt(row),
                                previousShownFacts(row));
}

bool FrameTableModel::isNumericFieldColumn(int column) const {
    return fieldColumns_.isNumeric(column - firstFieldColumn());
}

const FrameFacts* FrameTableModel::previousShownFacts(int row) const {
    if (row <= 0 || capture_ == nullptr) {
        return nullptr;
    }
    const std::size_t position = frameIndexOf(row - 1);
    const FrameList& frames = capture_->iaxFrames();
    return position < frames.size() && position >= frames.released() ? &frames[position]->facts()
                                                                     : nullptr;
}

void FrameTableModel::toggleMark(std::uint32_t frame) {
    const auto at = std::lower_bound(marks_.begin(), marks_.end(), frame);
    if (at != marks_.end() && *at == frame) {
        marks_.erase(at);
    } else {
        marks_.insert(at, frame);
    }
    const int row = rowOfFrame(frame);
    if (row >= 0) {
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    }
}

bool FrameTableModel::isMarked(std::uint32_t frame) const {
    return std::binary_search(marks_.begin(), marks_.end(), frame);
}

int FrameTableModel::nextMarkedRow(int row, bool forward) const {
    int best = -1;
    for (const std::uint32_t frame : marks_) {
        const int found = rowOfFrame(frame);
        if (found >= 0 &&
            (forward ? found > row && (best < 0 || found < best) : found < row && found > best)) {
            best = found;
        }
    }
    return best;
}

void FrameTableModel::setTimeReference(std::uint32_t frame) {
    reference_ = frame;
    if (capturedColumn_ >= 0 && shownRows_ > 0) {
        emit dataChanged(index(0, capturedColumn_), index(shownRows_ - 1, capturedColumn_),
                         {Qt::DisplayRole});
    }
}

void FrameTableModel::setProblemFrames(ProblemFrames frames) {
    letGoElsewhere(std::exchange(problemFrames_, std::move(frames)));
    if (shownRows_ > 0) {
        emit dataChanged(index(0, 0), index(shownRows_ - 1, columnCount() - 1),
                         {Qt::BackgroundRole});
    }
}

int FrameTableModel::nextProblemRow(int row) const {
    if (order_) {
        // Rows are not in frame order: the nearest problem row below.
        int nearest = -1;
        for (const auto& entry : problemFrames_) {
            const int found = rowOfFrame(entry.first);
            if (found > row && (nearest < 0 || found < nearest)) {
                nearest = found;
            }
        }
        return nearest;
    }
    const std::uint32_t after = row >= 0 ? frameNumberAt(row) : 0;
    auto it = std::upper_bound(
        problemFrames_.begin(), problemFrames_.end(), after,
        [](std::uint32_t frame, const auto& entry) { return frame < entry.first; });
    for (; it != problemFrames_.end(); ++it) {
        const int found = rowOfFrame(it->first);
        if (found > row) {
            return found;
        }
    }
    return -1;
}
